#pragma once
// H.264 decoding with libavcodec, one picture out for every frame in (low delay, one
// thread). After a frame that fails to decode, and before the first, frames are skipped until
// a key frame (an IDR picture) arrives: a picture predicted from a broken one would only
// spread the damage.

#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class CH264Decoder {
public:
    enum EResult : int {
        DECODED = 1,  // a picture came out
        SKIPPED = 0,  // waiting for a key frame; nothing was decoded
        FAILED = -1,  // the bytes did not decode; the next key frame starts again
    };

    CH264Decoder() = default;
    ~CH264Decoder();
    CH264Decoder(const CH264Decoder&) = delete;
    CH264Decoder& operator=(const CH264Decoder&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return m_context != nullptr; }

    // Decodes the bytes of one frame; the bytes are only read during the call.
    EResult Decode(const uint8_t* data, int length);
    // The last picture decoded (planar 4:2:0), valid until the next Decode.
    const AVFrame* Picture() const { return m_picture; }
    bool WaitingForKey() const { return m_waitKey; }

    // Whether Annex B bytes hold an IDR slice.
    static bool HasIdr(const uint8_t* data, int length);

private:
    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVFrame* m_picture = nullptr;
    AVPacket* m_packet = nullptr;
    uint8_t* m_padded = nullptr;
    int m_paddedSize = 0;
    bool m_waitKey = true;
};
