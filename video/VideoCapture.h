#pragma once
// The camera: a GStreamer pipeline from the video source to pictures of 352 x 288 in I420,
// handed to a callback on GStreamer's streaming thread. The source is the description in the
// environment variable TAVO_VIDEO_SOURCE, else the profile value VideoSource, else the first
// camera the device monitor finds. A description is any GStreamer source, for example
// "videotestsrc pattern=ball is-live=true", which is the camera of tests and the demo.

#include "video/Picture.h"

#include <QString>

#include <atomic>
#include <functional>

struct _GstElement;

class CVideoCapture {
public:
    static constexpr int kWidth = 352;
    static constexpr int kHeight = 288;

    // A picture with its presentation time (ns from the start of capture) and the monotonic
    // clock's time (ns) at which the source took it.
    using FPicture =
        std::function<void(const tagI420Picture& picture, int64_t ptsNs, int64_t capturedNs)>;

    CVideoCapture() = default;
    ~CVideoCapture();
    CVideoCapture(const CVideoCapture&) = delete;
    CVideoCapture& operator=(const CVideoCapture&) = delete;

    // The source description the configuration names; empty when the device monitor chooses.
    static QString ConfiguredSource();

    // Builds the pipeline and brings the source up to ready (a camera is opened); false when
    // there is no source or it cannot be opened.
    bool Open(FPicture onPicture);
    // Starts and stops the flow of pictures.
    bool Start();
    void Stop();
    // Closes the source and frees the pipeline.
    void Close();
    bool IsOpen() const { return m_pipeline != nullptr; }
    bool IsRunning() const { return m_running; }

    // What is capturing: the device's name or the source description.
    QString SourceName() const { return m_sourceName; }
    // The source's own caps as negotiated, empty before the first picture.
    QString SourceCaps() const;

private:
    static int OnSample(_GstElement* sink, void* self);

    _GstElement* m_pipeline = nullptr;
    _GstElement* m_sink = nullptr;
    FPicture m_onPicture;
    QString m_sourceName;
    std::atomic<bool> m_running{false};
};

// Starts GStreamer once per process.
void EnsureGstreamer();
