#pragma once
// The maker's own filters and how the client talks to them: a command identifier passed to
// QueryInterface in place of an interface identifier, with the address of a pointer to an
// argument block in place of the out pointer; the call's result is the command's result.

#include "media/MediaTypes.h"

#include <cstdint>

// Commands.
extern const tagGuid CMD_FILTER_START;      // {11111111-1111-1111-1111-111111111100}
extern const tagGuid CMD_FILTER_STOP;       // {11111111-1111-1111-1111-111111111101}
extern const tagGuid CMD_FILTER_CONFIGURE;  // {11111111-1111-1111-1111-111111111110}
extern const tagGuid CMD_FILTER_QUERY;      // {11111111-1111-1111-1111-111111111111}
extern const tagGuid CMD_FRAME_RATE;        // {22222222-1111-1111-1111-111111111101}
extern const tagGuid CMD_KEY_INTERVAL;      // {22222222-1111-1111-1111-111111111104}
extern const tagGuid CMD_ENCODER_OUTPUT;    // {22222222-1111-1111-1111-111111111105}

// The stream configuration block.
struct tagStreamConfig {
    uint8_t kind = 0;  // 0 video, 1 audio
    uint8_t reserved = 0;
    uint16_t mediaCode = 0;    // 20 video, 40 audio
    int32_t notifyWindow = 0;  // where a render filter delivers; 0 for a source
    int32_t handle = 0;        // in and out
    int32_t width = 0;
    int32_t height = 0;
    int32_t result = 0;  // nonzero: the filter refuses the stream
    const char16_t* name = nullptr;
};

// The start block of the video render filter of a play-out: the picture rectangle, then the
// file and the window that gets one message per frame.
struct tagVidRenderStart {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    const char16_t* path = nullptr;
    int32_t notifyWindow = 0;
};

// Copy-data tags the filters use: a source window takes frame packets (80) and sound blocks
// (75); the video render filter sends the play-out window one message per frame.
enum : unsigned { TAG_SOURCE_FRAME = 80, TAG_SOURCE_AUDIO = 75, TAG_PLAY_FRAME = 0x155D };

// The per-frame message's bytes: flags (bit 0 key frame, bits 16-31 the picture width), the
// frame's length, then the frame's encoded bytes.
#pragma pack(push, 1)
struct tagPlayFrameHeader {
    uint32_t flags = 0;
    uint16_t length = 0;
};
#pragma pack(pop)

// Sends a command to a filter; E_NOINTERFACE for a filter that knows no commands or not that
// one, E_POINTER without a block.
HRESULT QueryInterface(IBaseFilter* filter, const tagGuid& command, void** block);

// Makers of the filters (each returns a new element, floating, or nullptr).
IBaseFilter* MakeZelSource(const char* name);
IBaseFilter* MakeZelRender(const char* name);
IBaseFilter* MakeZelVidRender(const char* name);
IBaseFilter* MakeZelFrameRate(const char* name);
// The sound of the current wave input device (the PulseAudio source, or a WAV file),
// 16-bit 8000 Hz mono; nullptr when there is no input device.
IBaseFilter* MakeWaveCapture(const char* name);
