#pragma once
// The video receiver: decodes the frames the room hands it, one call per frame, and draws
// each picture on the surface it was created on. Decoding runs in the caller's thread (the GUI
// thread): a picture of these sizes decodes in well under a millisecond.

#include "video/H264Decoder.h"
#include "video/Picture.h"
#include "video/VideoSurface.h"

#include <QByteArray>

#include <cstdint>

class CVideoClientH264 {
public:
    CVideoClientH264() = default;
    virtual ~CVideoClientH264();
    CVideoClientH264(const CVideoClientH264&) = delete;
    CVideoClientH264& operator=(const CVideoClientH264&) = delete;

    // Prepares to draw on the parent; videoWindow receives the surface the pictures go to.
    // 0 when a decoder can be had.
    int Create(IVideoSurface* parent, tagVideoRect picture, tagVideoRect window,
               IVideoSurface*& videoWindow);
    int Open();
    int Start();
    int Stop();
    int Close();
    int Release();
    void ShowVideoWindow(bool show);
    // Decodes and draws one frame; the bytes are only read during the call. Frames before
    // Start, and frames while the decoder waits for a key frame, are dropped.
    int DecodeBuffer(const char* data, int length);
    void SetVideoRect(tagVideoRect rect);
    void MoveWindow(const tagVideoRect* rect, int repaint);
    // Saves the last picture as a BMP file; the path is in the ANSI code page. 0 or -1.
    int CapturePicture(const QByteArray& ansiPath);

    bool IsCreated() const { return m_created; }
    bool IsStarted() const { return m_started; }
    // Frames drawn and frames that did not decode, since Create.
    int DrawnFrames() const { return m_drawn; }
    int FailedFrames() const { return m_failed; }
    const tagVideoPicture& LastPicture() const { return m_last; }

    virtual void DrawData(IVideoSurface* window, int width, int height, const uint8_t* bytes,
                          int length);

private:
    CH264Decoder m_decoder;
    CPictureScaler m_converter;
    IVideoSurface* m_window = nullptr;
    tagVideoRect m_rect;
    tagVideoPicture m_last;
    bool m_created = false;
    bool m_started = false;
    int m_drawn = 0;
    int m_failed = 0;
};
