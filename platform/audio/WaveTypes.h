#pragma once
// The records and numbers of the wave-device interface the capture and playback code was
// written against: the PCM format record, the buffer header with its flags, and the
// multimedia result codes. Layouts are ours; names, flags and numbers are the system's.

#include <cstdint>

struct tagWaveFormat {
    uint16_t wFormatTag = 1;  // PCM
    uint16_t nChannels = 2;
    uint32_t nSamplesPerSec = 22050;
    uint32_t nAvgBytesPerSec = 88200;
    uint16_t nBlockAlign = 4;
    uint16_t wBitsPerSample = 16;

    static tagWaveFormat Pcm16(uint32_t rate, uint16_t channels) {
        tagWaveFormat f;
        f.nChannels = channels;
        f.nSamplesPerSec = rate;
        f.nBlockAlign = static_cast<uint16_t>(channels * 2);
        f.nAvgBytesPerSec = rate * f.nBlockAlign;
        f.wBitsPerSample = 16;
        return f;
    }
    // Only 16-bit PCM with one or two channels at a sane rate is ever opened.
    bool IsPlayable() const {
        return wFormatTag == 1 && wBitsPerSample == 16 && (nChannels == 1 || nChannels == 2) &&
               nSamplesPerSec >= 4000 && nSamplesPerSec <= 192000 && nBlockAlign == nChannels * 2;
    }
    bool operator==(const tagWaveFormat&) const = default;
};

// A buffer handed to a device. The device owns it from AddBuffer/Write until it reports the
// buffer done; the caller must not touch lpData meanwhile.
struct tagWaveHeader {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    // Bytes recorded into the buffer (input). Signed so a broken device's count can be seen.
    int32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;
    uint32_t dwLoops = 0;
};

enum : uint32_t {
    WHDR_DONE = 0x1,
    WHDR_PREPARED = 0x2,
    WHDR_INQUEUE = 0x10,
};

// Results of every device operation.
enum : int {
    MMSYSERR_NOERROR = 0,
    MMSYSERR_ERROR = 1,
    MMSYSERR_BADDEVICEID = 2,
    MMSYSERR_INVALHANDLE = 5,
    MMSYSERR_NODRIVER = 6,
    MMSYSERR_NOMEM = 7,
    MMSYSERR_INVALPARAM = 11,
    WAVERR_BADFORMAT = 32,
    WAVERR_STILLPLAYING = 33,
    WAVERR_UNPREPARED = 34,
};

// Messages a device reports to its owner.
enum class EWaveMsg { Open, Data, Done, Close };
