#include "tests/video/VideoTestSupport.h"

#include "video/VideoCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavotest {

QString PatternSource(int fps) {
    return QStringLiteral("videotestsrc pattern=ball is-live=true ! video/x-raw,framerate=%1/1")
        .arg(fps);
}

namespace {

// The pattern's pictures in a raw format, each as its bytes.
std::vector<QByteArray> PatternBytes(int count, int width, int height, const char* format) {
    EnsureGstreamer();
    const QString description =
        QStringLiteral(
            "videotestsrc pattern=ball num-buffers=%1 ! video/x-raw,framerate=%2/1,width=352,"
            "height=288 ! videoscale ! videoconvert ! video/x-raw,format=%5,width=%3,"
            "height=%4 ! appsink name=out sync=false")
            .arg(count)
            .arg(kPatternFps)
            .arg(width)
            .arg(height)
            .arg(QString::fromLatin1(format));
    std::vector<QByteArray> pictures;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (!pipeline || error) {
        if (error) {
            g_error_free(error);
        }
        return pictures;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            pictures.emplace_back(reinterpret_cast<const char*>(map.data),
                                  static_cast<int>(map.size));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return pictures;
}

}  // namespace

std::vector<tagVideoPicture> PatternPictures(int count, int width, int height) {
    std::vector<tagVideoPicture> pictures;
    for (const QByteArray& bytes : PatternBytes(count, width, height, "BGRA")) {
        tagVideoPicture p;
        p.width = width;
        p.height = height;
        p.bgra = bytes.left(width * height * 4);
        pictures.push_back(p);
    }
    return pictures;
}

std::vector<tagI420Picture> PatternI420(int count, int width, int height) {
    // Even sizes only: GStreamer's I420 rows are then packed as ours.
    std::vector<tagI420Picture> pictures;
    for (const QByteArray& bytes : PatternBytes(count, width, height, "I420")) {
        tagI420Picture p;
        p.width = width;
        p.height = height;
        p.bytes = bytes.left(tagI420Picture::ByteSize(width, height));
        pictures.push_back(p);
    }
    return pictures;
}

std::vector<tagEncodedFrame> EncodePattern(int count, const std::vector<int>& keys) {
    std::vector<tagEncodedFrame> frames;
    CH264Encoder encoder;
    if (!encoder.Open(176, 144, kPatternFps)) {
        return frames;
    }
    for (const tagI420Picture& picture : PatternI420(count, 176, 144)) {
        tagEncodedFrame f;
        const int i = static_cast<int>(frames.size());
        encoder.Encode(picture, std::find(keys.begin(), keys.end(), i) != keys.end(), f);
        frames.push_back(f);
    }
    return frames;
}

double Psnr(const tagVideoPicture& a, const tagVideoPicture& b) {
    if (a.width != b.width || a.height != b.height || a.IsEmpty() ||
        a.bgra.size() < a.width * a.height * 4 || b.bgra.size() < a.bgra.size()) {
        return 0;
    }
    double sum = 0;
    const auto* p = reinterpret_cast<const uint8_t*>(a.bgra.constData());
    const auto* q = reinterpret_cast<const uint8_t*>(b.bgra.constData());
    const int n = a.width * a.height;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            const double d = double(p[4 * i + c]) - double(q[4 * i + c]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * n);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace tavotest
