#include "video/VideoCapture.h"

#include "platform/Profile.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstring>
#include <mutex>

namespace {

constexpr GstClockTime kStateWait = 3 * GST_SECOND;

// Everything after the source: the two sizes are made from 352 x 288 in I420, and a late
// picture is worth nothing, so the sink keeps at most two and drops the older.
constexpr char kTail[] =
    "videoconvert ! videoscale ! video/x-raw,format=I420,width=352,height=288,"
    "pixel-aspect-ratio=1/1 ! appsink name=tavo_sink emit-signals=true max-buffers=2 drop=true "
    "sync=false";

// A pipeline from the first camera the device monitor knows; nullptr when there is none.
GstElement* CameraPipeline(QString& name) {
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GstElement* source = nullptr;
    if (gst_device_monitor_start(monitor)) {
        GList* devices = gst_device_monitor_get_devices(monitor);
        for (GList* d = devices; d && !source; d = d->next) {
            auto* device = GST_DEVICE(d->data);
            source = gst_device_create_element(device, nullptr);
            if (source) {
                gchar* shown = gst_device_get_display_name(device);
                name = QString::fromUtf8(shown);
                g_free(shown);
            }
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    if (!source) {
        return nullptr;
    }
    GError* error = nullptr;
    GstElement* tail = gst_parse_bin_from_description(kTail, TRUE, &error);
    if (error) {
        g_error_free(error);
    }
    if (!tail) {
        gst_object_unref(source);
        return nullptr;
    }
    GstElement* pipeline = gst_pipeline_new("tavo-camera");
    gst_bin_add_many(GST_BIN(pipeline), source, tail, nullptr);
    if (!gst_element_link(source, tail)) {
        gst_object_unref(pipeline);
        return nullptr;
    }
    return pipeline;
}

}  // namespace

void EnsureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

CVideoCapture::~CVideoCapture() {
    Close();
}

QString CVideoCapture::ConfiguredSource() {
    QString env = qEnvironmentVariable("TAVO_VIDEO_SOURCE").trimmed();
    if (!env.isEmpty()) {
        return env;
    }
    return CAppProfile::GetProfileString(QStringLiteral("Main"), QStringLiteral("VideoSource"))
        .trimmed();
}

bool CVideoCapture::Open(FPicture onPicture) {
    Close();
    EnsureGstreamer();
    const QString description = ConfiguredSource();
    if (description.isEmpty()) {
        m_pipeline = CameraPipeline(m_sourceName);
    } else {
        // The description may end in caps of its own, which only a whole pipeline can parse.
        const QString whole = description + QStringLiteral(" ! ") + QString::fromLatin1(kTail);
        GError* error = nullptr;
        m_pipeline = gst_parse_launch(whole.toUtf8().constData(), &error);
        if (error) {
            g_error_free(error);
            if (m_pipeline) {
                gst_object_unref(m_pipeline);
                m_pipeline = nullptr;
            }
        }
        m_sourceName = description;
    }
    if (!m_pipeline) {
        return false;
    }
    m_sink = gst_bin_get_by_name(GST_BIN(m_pipeline), "tavo_sink");
    if (!m_sink) {
        Close();
        return false;
    }
    // The bin holds the element; our reference is not needed.
    gst_object_unref(m_sink);
    m_onPicture = std::move(onPicture);
    g_signal_connect(m_sink, "new-sample", G_CALLBACK(&CVideoCapture::OnSample), this);
    if (gst_element_set_state(m_pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        Close();
        return false;
    }
    return true;
}

bool CVideoCapture::Start() {
    if (!m_pipeline) {
        return false;
    }
    m_running = true;
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(m_pipeline, nullptr, nullptr, kStateWait) ==
            GST_STATE_CHANGE_FAILURE) {
        m_running = false;
        gst_element_set_state(m_pipeline, GST_STATE_READY);
        return false;
    }
    return true;
}

void CVideoCapture::Stop() {
    if (!m_pipeline) {
        return;
    }
    m_running = false;
    // Waits for the streaming thread: no picture arrives after this returns.
    gst_element_set_state(m_pipeline, GST_STATE_READY);
}

void CVideoCapture::Close() {
    if (m_pipeline) {
        m_running = false;
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
    m_pipeline = nullptr;
    m_sink = nullptr;
    m_onPicture = nullptr;
}

QString CVideoCapture::SourceCaps() const {
    if (!m_sink) {
        return QString();
    }
    GstPad* pad = gst_element_get_static_pad(m_sink, "sink");
    QString text;
    if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
        gchar* s = gst_caps_to_string(caps);
        text = QString::fromUtf8(s);
        g_free(s);
        gst_caps_unref(caps);
    }
    gst_object_unref(pad);
    return text;
}

int CVideoCapture::OnSample(_GstElement* sink, void* self) {
    auto* capture = static_cast<CVideoCapture*>(self);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample) {
        return GST_FLOW_OK;
    }
    GstVideoInfo info;
    GstVideoFrame frame;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (capture->m_running && buffer &&
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_I420 &&
        gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        tagI420Picture picture =
            tagI420Picture::Make(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
        for (int plane = 0; plane < 3 && !picture.IsEmpty(); ++plane) {
            const auto* src =
                static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
            const int srcStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
            const int rows = plane == 0 ? picture.height : (picture.height + 1) / 2;
            uint8_t* dst = picture.Plane(plane);
            for (int y = 0; y < rows; ++y) {
                std::memcpy(dst + qsizetype{y} * picture.Stride(plane),
                            src + qsizetype{y} * srcStride, picture.Stride(plane));
            }
        }
        gst_video_frame_unmap(&frame);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        const int64_t ptsNs = GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts) : -1;
        // The pipeline's clock is the system's monotonic clock: base time plus the running
        // time of the picture is when the source took it.
        int64_t capturedNs = -1;
        if (ptsNs >= 0) {
            capturedNs =
                static_cast<int64_t>(gst_element_get_base_time(capture->m_pipeline)) + ptsNs;
        }
        if (!picture.IsEmpty() && capture->m_onPicture) {
            capture->m_onPicture(picture, ptsNs, capturedNs);
        }
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}
