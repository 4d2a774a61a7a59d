#pragma once
// The filters that libav* does the work of: the GSM 6.10 compressor (libgsm's Microsoft
// variant, 65 bytes per 320 samples of 8000 Hz mono) and the AVI multiplexer (libavformat's
// AVI muxer writing H.264 and GSM 6.10, its bytes going downstream to the file writer).

#include <gst/gst.h>

// Caps of the streams between the filters.
GstCaps* GsmCaps();
GstCaps* SpeechCaps();
GstCaps* H264Caps();

GstElement* MakeGsmCompressor(const char* name);
GstElement* MakeAviMux(const char* name);

// Sizes of one GSM 6.10 block.
constexpr int kGsmBlockBytes = 65;
constexpr int kGsmBlockSamples = 320;
