#include "video/VideoServerH264.h"

#include "platform/CodePage.h"
#include "platform/MessageWindow.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"
#include "video/FrameTimes.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

CVideoServerH264::CVideoServerH264() = default;

CVideoServerH264::~CVideoServerH264() {
    Release();
}

QByteArray CVideoServerH264::FramePacket(int width, bool key, int number, const QByteArray& data) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, CMD_VIDEO_FRAME);
    p.SetShortInt(VideoFrameKey::WIDTH, static_cast<short>(width));
    p.SetBoolean(VideoFrameKey::KEY, key);
    p.SetInt(VideoFrameKey::NUMBER, number);
    p.SetChar(VideoFrameKey::DATA, data.constData(), static_cast<unsigned short>(data.size()));
    return QByteArray(p.GetBufferPtr(), p.GetLength());
}

int CVideoServerH264::Create(IVideoSurface* preview, tagVideoRect large, tagVideoRect small,
                             tagVideoRect previewRect, CMessageWindow* notify, int /*flag*/) {
    Release();
    // The sizes are the component's own; callers name them for the record.
    if (large.Width() != kLargeWidth || large.Height() != kLargeHeight ||
        small.Width() != kSmallWidth || small.Height() != kSmallHeight) {
        return -1;
    }
    if (!m_capture.Open([this](const tagI420Picture& picture, int64_t pts, int64_t captured) {
            OnPicture(picture, pts, captured);
        })) {
        return -1;
    }
    m_preview = preview;
    m_previewRect = previewRect;
    m_notify = notify;
    m_relay = new QObject;
    m_created = true;
    m_number = 0;
    return 0;
}

int CVideoServerH264::Open() {
    if (!m_created) {
        return -1;
    }
    m_opened = true;
    m_forceKey = true;
    return 0;
}

int CVideoServerH264::Start() {
    if (!m_opened) {
        return -1;
    }
    m_nextDueNs = -1;
    m_smallStream.lastKeyNs = m_largeStream.lastKeyNs = -1;
    m_forceKey = true;
    if (m_preview) {
        m_preview->ShowVideo(true);
    }
    return m_capture.Start() ? 0 : -1;
}

int CVideoServerH264::Stop() {
    m_capture.Stop();
    return 0;
}

int CVideoServerH264::Close() {
    m_capture.Close();
    m_opened = false;
    // Only now is the streaming thread gone for good.
    m_smallStream.encoder.Close();
    m_largeStream.encoder.Close();
    return 0;
}

int CVideoServerH264::Release() {
    Close();
    {
        std::lock_guard lock(m_mutex);
        // Deleting the relay drops a preview still queued for it.
        delete m_relay;
        m_relay = nullptr;
        m_previewQueued = false;
        m_lastLarge = tagI420Picture();
        m_previewPicture = tagI420Picture();
    }
    if (m_preview && m_created) {
        m_preview->ShowVideo(false);
    }
    m_preview = nullptr;
    m_notify = nullptr;
    m_created = false;
    m_small = false;
    m_large = false;
    return 0;
}

void CVideoServerH264::EnableSmallWindow(bool enable) {
    if (enable && !m_small) {
        m_forceKey = true;
    }
    m_small = enable;
}

void CVideoServerH264::EnableLargeWindow(bool enable) {
    if (enable && !m_large) {
        m_forceKey = true;
    }
    m_large = enable;
}

void CVideoServerH264::SetFrameRate(int fps) {
    if (fps >= 1 && fps <= 60) {
        m_fps = fps;
    }
}

void CVideoServerH264::SetVideoRect(tagVideoRect rect) {
    m_previewRect = rect;
    if (m_preview) {
        m_preview->SetVideoRect(rect);
    }
}

void CVideoServerH264::MoveWindow(const tagVideoRect* rect, int repaint) {
    if (!rect) {
        return;
    }
    SetVideoRect(*rect);
    if (repaint && m_preview && !m_previewShown.IsEmpty()) {
        m_preview->DrawPicture(m_previewShown);
    }
}

int CVideoServerH264::CapturePicture(const QByteArray& ansiPath) {
    tagI420Picture last;
    {
        std::lock_guard lock(m_mutex);
        last = m_lastLarge;
    }
    tagVideoPicture picture;
    CPictureScaler converter;
    if (last.IsEmpty() || !converter.ToBgra(last, picture)) {
        return -1;
    }
    return WriteBmpFile(FromAnsi(ansiPath), picture);
}

void CVideoServerH264::DisplayCameraProperty(void* /*owner*/) {
    if (!m_created) {
        return;
    }
    // The devices we capture from have no property pages of their own; the user is told
    // what the camera is and what it delivers.
    const QString caps = m_capture.SourceCaps();
    MessageBox(LoadString(IDS_VIDEO_CAMERA_INFO)
                   .arg(m_capture.SourceName(), caps.isEmpty() ? QStringLiteral("-") : caps)
                   .arg(m_fps.load()),
               LoadString(IDS_VIDEO_CAMERA_TITLE), MB_OK | MB_ICONINFORMATION);
}

void CVideoServerH264::CheckParam(CKParam& packet) {
    if (packet.Command() != CMD_VIDEO_PARAMS) {
        return;
    }
    if (packet.IntOr(VideoParamsKey::ASK, 0) == 1) {
        m_forceKey = true;
    }
}

// --- The streaming thread ------------------------------------------------------------------

bool CVideoServerH264::Due(int64_t ptsNs) {
    const int64_t interval = 1'000'000'000 / std::max(1, m_fps.load());
    if (ptsNs < 0 || m_nextDueNs < 0) {
        m_nextDueNs = std::max<int64_t>(ptsNs, 0) + interval;
        return true;
    }
    // A picture a quarter of an interval early still counts: sources tick unevenly.
    if (ptsNs < m_nextDueNs - interval / 4) {
        return false;
    }
    m_nextDueNs = ptsNs - m_nextDueNs > interval ? ptsNs + interval : m_nextDueNs + interval;
    return true;
}

void CVideoServerH264::OnPicture(const tagI420Picture& picture, int64_t ptsNs, int64_t capturedNs) {
    if (!Due(ptsNs)) {
        return;
    }
    const bool force = m_forceKey.exchange(false);
    tagI420Picture small = tagI420Picture::Make(kSmallWidth, kSmallHeight);
    const bool haveSmall = m_scaler.Scale(picture, small);
    {
        std::lock_guard lock(m_mutex);
        m_lastLarge = picture;
    }
    if (haveSmall) {
        QueuePreview(small);
    }
    const int numberBefore = m_number;
    if (m_large) {
        EncodeStream(m_largeStream, picture, ptsNs, force);
    }
    if (m_small && haveSmall) {
        EncodeStream(m_smallStream, small, ptsNs, force);
    }
    for (int n = numberBefore + 1; n <= m_number; ++n) {
        CFrameTimes::Senders().Note(n, capturedNs);
    }
}

void CVideoServerH264::EncodeStream(tagStream& stream, const tagI420Picture& picture, int64_t ptsNs,
                                    bool force) {
    const int fps = m_fps.load();
    if (!stream.encoder.IsOpen() || stream.encoder.Width() != picture.width ||
        stream.encoder.FrameRate() != fps) {
        if (!stream.encoder.Open(picture.width, picture.height, fps)) {
            return;
        }
        force = true;
    }
    if (stream.lastKeyNs < 0 || ptsNs < 0 || ptsNs - stream.lastKeyNs >= kKeyIntervalNs) {
        force = true;
    }
    tagEncodedFrame frame;
    if (!stream.encoder.Encode(picture, force, frame) || frame.bytes.isEmpty()) {
        return;
    }
    if (frame.bytes.size() > CH264Encoder::kMaxFrameBytes) {
        // Too big for one packet: nobody could use it, and what follows needs a fresh start.
        m_forceKey = true;
        return;
    }
    if (frame.key) {
        stream.lastKeyNs = std::max<int64_t>(ptsNs, 0);
    }
    ++m_number;
    if (m_notify) {
        m_notify->PostCopyData(TAG_FRAME,
                               FramePacket(picture.width, frame.key, m_number, frame.bytes));
    }
}

void CVideoServerH264::QueuePreview(const tagI420Picture& small) {
    std::lock_guard lock(m_mutex);
    m_previewPicture = small;
    if (m_previewQueued || !m_relay || !m_preview) {
        return;
    }
    m_previewQueued = true;
    QMetaObject::invokeMethod(
        m_relay, [this] { DrawPreview(); }, Qt::QueuedConnection);
}

void CVideoServerH264::DrawPreview() {
    tagI420Picture small;
    {
        std::lock_guard lock(m_mutex);
        m_previewQueued = false;
        small = m_previewPicture;
    }
    if (!m_preview || small.IsEmpty() || !m_previewScaler.ToBgra(small, m_previewShown)) {
        return;
    }
    m_preview->DrawPicture(m_previewShown);
}
