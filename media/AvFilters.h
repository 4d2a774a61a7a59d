#pragma once
// The filters that libav* does the work of: the GSM 6.10 compressor (libgsm's Microsoft
// variant, 65 bytes per 320 samples of 8000 Hz mono) and the AVI multiplexer (libavformat's
// AVI muxer writing H.264 and GSM 6.10, its bytes going downstream to the file writer).

#include <gst/gst.h>

#include <cstdint>

// Caps of the streams between the filters.
GstCaps* GsmCaps();
GstCaps* SpeechCaps();
GstCaps* H264Caps();

// Packets of one stream that cross a link together, in one buffer: each packet is a record
// head and then its bytes. A source of many small packets (a recording's frames and sound
// blocks) sends them so: a buffer and a crossing of the pads for the lot rather than for each.
// The caps name the packets' own media in "media", with that media's fields beside it.
GstCaps* PacketsCaps(const GstCaps* media);
#pragma pack(push, 1)
struct tagPacketHead {
    uint64_t pts = 0;     // the packet's time, in nanoseconds of the stream
    uint32_t length = 0;  // of the bytes that follow the head
    uint32_t flags = 0;   // bit 0: a delta unit (not a key frame)
};
#pragma pack(pop)

GstElement* MakeGsmCompressor(const char* name);
GstElement* MakeAviMux(const char* name);

// Sizes of one GSM 6.10 block.
constexpr int kGsmBlockBytes = 65;
constexpr int kGsmBlockSamples = 320;
