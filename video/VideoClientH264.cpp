#include "video/VideoClientH264.h"

#include "platform/CodePage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

CVideoClientH264::~CVideoClientH264() {
    Release();
}

int CVideoClientH264::Create(IVideoSurface* parent, tagVideoRect picture, tagVideoRect window,
                             IVideoSurface*& videoWindow) {
    Release();
    if (!avcodec_find_decoder(AV_CODEC_ID_H264)) {
        return -1;
    }
    m_window = parent;
    m_rect = window;
    videoWindow = parent;
    m_created = true;
    m_drawn = m_failed = 0;
    return 0;
}

int CVideoClientH264::Open() {
    if (!m_created) {
        return -1;
    }
    return m_decoder.Open() ? 0 : -1;
}

int CVideoClientH264::Start() {
    if (!m_decoder.IsOpen()) {
        return -1;
    }
    m_started = true;
    return 0;
}

int CVideoClientH264::Stop() {
    m_started = false;
    return 0;
}

int CVideoClientH264::Close() {
    m_started = false;
    m_decoder.Close();
    return 0;
}

int CVideoClientH264::Release() {
    Close();
    if (m_window && m_created) {
        m_window->ShowVideo(false);
    }
    m_window = nullptr;
    m_created = false;
    m_last = tagVideoPicture();
    return 0;
}

void CVideoClientH264::ShowVideoWindow(bool show) {
    if (m_window) {
        m_window->ShowVideo(show);
    }
}

int CVideoClientH264::DecodeBuffer(const char* data, int length) {
    if (!m_started || !data || length <= 0) {
        return -1;
    }
    const CH264Decoder::EResult result =
        m_decoder.Decode(reinterpret_cast<const uint8_t*>(data), length);
    if (result != CH264Decoder::DECODED) {
        m_failed += result == CH264Decoder::FAILED ? 1 : 0;
        return -1;
    }
    const AVFrame* f = m_decoder.Picture();
    const uint8_t* planes[3] = {f->data[0], f->data[1], f->data[2]};
    const int strides[3] = {f->linesize[0], f->linesize[1], f->linesize[2]};
    if (!m_converter.ToBgra(planes, strides, f->width, f->height, m_last)) {
        ++m_failed;
        return -1;
    }
    ++m_drawn;
    DrawData(m_window, m_last.width, m_last.height,
             reinterpret_cast<const uint8_t*>(m_last.bgra.constData()),
             static_cast<int>(m_last.bgra.size()));
    return 0;
}

void CVideoClientH264::DrawData(IVideoSurface* window, int width, int height, const uint8_t* bytes,
                                int length) {
    if (!window) {
        return;
    }
    // The picture drawn is the one just decoded, already held by m_last.
    if (bytes == reinterpret_cast<const uint8_t*>(m_last.bgra.constData()) &&
        width == m_last.width && height == m_last.height) {
        window->DrawPicture(m_last);
        return;
    }
    tagVideoPicture picture;
    picture.width = width;
    picture.height = height;
    picture.bgra = QByteArray(reinterpret_cast<const char*>(bytes), length);
    window->DrawPicture(picture);
}

void CVideoClientH264::SetVideoRect(tagVideoRect rect) {
    m_rect = rect;
    if (m_window) {
        m_window->SetVideoRect(rect);
    }
}

void CVideoClientH264::MoveWindow(const tagVideoRect* rect, int repaint) {
    if (!rect) {
        return;
    }
    SetVideoRect(*rect);
    if (repaint && m_window && !m_last.IsEmpty()) {
        m_window->DrawPicture(m_last);
    }
}

int CVideoClientH264::CapturePicture(const QByteArray& ansiPath) {
    return WriteBmpFile(FromAnsi(ansiPath), m_last);
}
