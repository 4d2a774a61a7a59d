#pragma once
// The video sender: camera, scaling to the large (352 x 288) and the small (176 x 144)
// picture, H.264 encoding, the own preview, and every encoded picture delivered to the
// notification window as a frame packet (command 80) in a copy-data message with tag 80.
// Capture and encoding run on GStreamer's streaming thread; the preview is drawn on the GUI
// thread. The calls are the ones the room, the private chat and the start-up probe make.

#include "video/H264Encoder.h"
#include "video/Picture.h"
#include "video/VideoCapture.h"
#include "video/VideoSurface.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class CKParam;
class CMessageWindow;
class QObject;

class CVideoServerH264 {
public:
    // Copy-data tags of the notification window.
    enum : unsigned { TAG_FRAME = 80, TAG_PACKET = 81 };
    static constexpr int kLargeWidth = 352;
    static constexpr int kLargeHeight = 288;
    static constexpr int kSmallWidth = 176;
    static constexpr int kSmallHeight = 144;
    // A key frame at least this often, so that a receiver who joins or lost a frame waits no
    // longer.
    static constexpr int64_t kKeyIntervalNs = 2'000'000'000;

    CVideoServerH264();
    ~CVideoServerH264();
    CVideoServerH264(const CVideoServerH264&) = delete;
    CVideoServerH264& operator=(const CVideoServerH264&) = delete;

    // Finds and opens the camera. 0 on success; anything else means no camera, and the caller
    // calls Release. The notification window may be null (a probe).
    int Create(IVideoSurface* preview, tagVideoRect large, tagVideoRect small,
               tagVideoRect previewRect, CMessageWindow* notify, int flag);
    int Open();
    int Start();
    int Stop();
    int Close();
    int Release();

    void EnableSmallWindow(bool enable);
    void EnableLargeWindow(bool enable);
    // Frames per second, 1 to 60; takes effect with the next picture.
    void SetFrameRate(int fps);
    void SetVideoRect(tagVideoRect rect);
    void MoveWindow(const tagVideoRect* rect, int repaint);
    // Saves the last large picture as a BMP file; the path is in the ANSI code page. 0 or -1.
    int CapturePicture(const QByteArray& ansiPath);
    // Tells the user what the camera is and what it delivers.
    void DisplayCameraProperty(void* owner);
    // A request of the room server (command -263): key 20 = 1 asks for a key frame now.
    void CheckParam(CKParam& packet);

    bool IsCreated() const { return m_created; }
    bool IsRunning() const { return m_capture.IsRunning(); }
    int FrameRate() const { return m_fps.load(); }

    // Builds a frame packet exactly as the sender delivers it.
    static QByteArray FramePacket(int width, bool key, int number, const QByteArray& data);

private:
    struct tagStream {
        CH264Encoder encoder;
        tagI420Picture picture;
        int64_t lastKeyNs = -1;
    };

    void OnPicture(const tagI420Picture& picture, int64_t ptsNs, int64_t capturedNs);
    bool Due(int64_t ptsNs);
    void EncodeStream(tagStream& stream, const tagI420Picture& picture, int64_t ptsNs, bool force);
    void QueuePreview(const tagI420Picture& small);
    void DrawPreview();

    CVideoCapture m_capture;
    IVideoSurface* m_preview = nullptr;
    tagVideoRect m_previewRect;
    CMessageWindow* m_notify = nullptr;
    bool m_created = false;
    bool m_opened = false;

    std::atomic<bool> m_small{false};
    std::atomic<bool> m_large{false};
    std::atomic<int> m_fps{15};
    std::atomic<bool> m_forceKey{true};

    // The streaming thread's own.
    tagStream m_smallStream;
    tagStream m_largeStream;
    CPictureScaler m_scaler;
    int64_t m_nextDueNs = -1;
    int m_number = 0;

    // The GUI thread's own.
    CPictureScaler m_previewScaler;
    tagVideoPicture m_previewShown;

    // Shared with the GUI thread.
    std::mutex m_mutex;
    tagI420Picture m_lastLarge;
    tagI420Picture m_previewPicture;
    bool m_previewQueued = false;
    QObject* m_relay = nullptr;
};
