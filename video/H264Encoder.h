#pragma once
// H.264 encoding of one picture size with libx264: baseline profile, zero latency (every
// picture comes out of the call that took it), no B-frames, SPS and PPS in front of every key
// frame so that a receiver can start at any of them, and the rate capped so that a frame
// always fits into one room packet.

#include "video/Picture.h"

#include <QByteArray>

#include <cstdint>

struct x264_t;

struct tagEncodedFrame {
    QByteArray bytes;  // Annex B NAL units of one picture
    bool key = false;  // an IDR picture: decodes by itself
};

class CH264Encoder {
public:
    // No frame may exceed this: with the packet's own fields it must stay below the 29999
    // bytes a room connection accepts.
    static constexpr int kMaxFrameBytes = 28000;

    CH264Encoder() = default;
    ~CH264Encoder();
    CH264Encoder(const CH264Encoder&) = delete;
    CH264Encoder& operator=(const CH264Encoder&) = delete;

    // Opens for a picture size and a frame rate (frames per second, 1 to 60); false when the
    // library refuses. An open encoder is closed first.
    bool Open(int width, int height, int fps);
    void Close();
    bool IsOpen() const { return m_x264 != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int FrameRate() const { return m_fps; }

    // Encodes one picture of the open size; forceKey makes it an IDR picture. False when the
    // picture does not fit or the library failed; out is then empty.
    bool Encode(const tagI420Picture& picture, bool forceKey, tagEncodedFrame& out);

private:
    x264_t* m_x264 = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_fps = 0;
    int64_t m_pts = 0;
};
