#include "media/MakerFilters.h"

#include "media/AvFilters.h"
#include "media/FilterWindow.h"
#include "media/LogicElement.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/KParam.h"
#include "protocol/keys/VideoKeys.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <QString>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

const tagGuid CMD_FILTER_START = tagGuid::FromString("{11111111-1111-1111-1111-111111111100}");
const tagGuid CMD_FILTER_STOP = tagGuid::FromString("{11111111-1111-1111-1111-111111111101}");
const tagGuid CMD_FILTER_CONFIGURE = tagGuid::FromString("{11111111-1111-1111-1111-111111111110}");
const tagGuid CMD_FILTER_QUERY = tagGuid::FromString("{11111111-1111-1111-1111-111111111111}");
const tagGuid CMD_FRAME_RATE = tagGuid::FromString("{22222222-1111-1111-1111-111111111101}");
const tagGuid CMD_KEY_INTERVAL = tagGuid::FromString("{22222222-1111-1111-1111-111111111104}");
const tagGuid CMD_ENCODER_OUTPUT = tagGuid::FromString("{22222222-1111-1111-1111-111111111105}");

namespace {

constexpr char kMakerKey[] = "tavo-maker";

class CMakerFilter {
public:
    virtual ~CMakerFilter() = default;
    virtual HRESULT Command(const tagGuid& command, void* block) = 0;
};

void Attach(GstElement* element, CMakerFilter* filter) {
    g_object_set_data_full(G_OBJECT(element), kMakerKey, filter,
                           [](gpointer p) { delete static_cast<CMakerFilter*>(p); });
}

// The maker's source filter: frame packets (80) and sound blocks (75) handed to its window go
// into the graph on the caller's thread, with no queue and no thread of its own. They cross to
// the multiplexer some at a time, packed into one buffer: a buffer and a crossing of the pads
// cost more than the file's write of a packet, and a file loses nothing by getting a second or
// two of media at once. The end of the stream sends what is left. Pictures are stamped with
// the graph's running time when they come (a skipped picture leaves its place empty); sound
// blocks follow one another, each one block's length after the last.
class CZelSourceLogic : public CElementLogic {
public:
    void Build() override { AddOutput("src", gst_caps_new_any()); }
    GstFlowReturn OnBuffer(int, GstBuffer* buffer) override {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_SUPPORTED;
    }

    bool Configure(GstCaps* media, bool video) {
        std::lock_guard lock(m_lock);
        GstCaps* caps = PacketsCaps(media);
        gst_caps_replace(&m_caps, caps);
        SetOutputCaps(caps);
        gst_caps_unref(caps);
        m_video = video;
        return true;
    }

    void Deliver(const char* bytes, size_t length, bool key) {
        std::lock_guard lock(m_lock);
        if (!m_clock || !m_caps) {
            // Not running: nothing to stamp the data with, and nowhere for it to go.
            return;
        }
        tagPacketHead head;
        if (m_video) {
            const GstClockTime now = gst_clock_get_time(m_clock);
            head.pts = now > m_base ? now - m_base : 0;
        } else {
            head.pts = gst_util_uint64_scale(m_blocks++, GST_SECOND * kGsmBlockSamples, 8000);
        }
        head.length = static_cast<uint32_t>(length);
        head.flags = key ? 0u : 1u;
        const size_t at = m_batch.size();
        m_batch.resize(at + sizeof head + length);
        std::memcpy(m_batch.data() + at, &head, sizeof head);
        std::memcpy(m_batch.data() + at + sizeof head, bytes, length);
        if (++m_batched >= kBatch) {
            SendBatch();
        }
    }

    void End() {
        std::lock_guard lock(m_lock);
        if (m_caps) {
            // Even a stream that carried nothing ends, so that the file is completed.
            StartOutput(m_caps, GST_FORMAT_TIME);
        }
        SendBatch();
        EndOutput();
    }

    // The running time is the clock's time less the base time of this stretch of playing; both
    // are read once here rather than with every picture.
    void OnPlaying() override {
        ForgetClock();
        m_clock = gst_element_get_clock(Element());
        m_base = gst_element_get_base_time(Element());
    }

    // The graph went back to ready: its next run may have another clock, and what waited to
    // be sent belongs to the run that ended.
    void OnReset() override {
        ForgetClock();
        m_batch = {};
        m_batched = 0;
        m_blocks = 0;
    }

    ~CZelSourceLogic() override {
        ForgetClock();
        if (m_caps) {
            gst_caps_unref(m_caps);
        }
    }

private:
    // Packets sent together: two seconds of pictures, a second and a bit of sound.
    static constexpr int kBatch = 30;

    void SendBatch() {
        if (m_batched == 0 || !m_caps) {
            return;
        }
        StartOutput(m_caps, GST_FORMAT_TIME);
        GstBuffer* buffer = gst_buffer_new_memdup(m_batch.data(), m_batch.size());
        m_batch.clear();  // keeps its room for the next batch
        m_batched = 0;
        Push(buffer);
    }

    void ForgetClock() {
        if (m_clock) {
            gst_object_unref(m_clock);
            m_clock = nullptr;
        }
    }

    GstCaps* m_caps = nullptr;
    bool m_video = true;
    // The graph's clock and base time, taken when the graph plays.
    GstClock* m_clock = nullptr;
    GstClockTime m_base = 0;
    std::vector<char> m_batch;
    int m_batched = 0;
    uint64_t m_blocks = 0;
};

class CSourceWindow : public CFilterWindow {
public:
    explicit CSourceWindow(CZelSourceLogic& source) : m_source(source) {}
    std::atomic<bool> m_delivering{false};
    bool m_video = true;

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override {
        if (!m_delivering) {
            return;
        }
        if (m_video && tag == TAG_SOURCE_FRAME) {
            CKParam frame;
            bool key = false;
            char* bytes = nullptr;
            unsigned short length = 0;
            if (frame.SetBufferPtr(data.constData(), static_cast<int>(data.size())) != 0 ||
                frame.GetBoolean(VideoFrameKey::KEY, key) != 0 ||
                frame.GetCharNC(VideoFrameKey::DATA, &bytes, length) != 0 || length == 0) {
                return;
            }
            m_source.Deliver(bytes, length, key);
        } else if (!m_video && tag == TAG_SOURCE_AUDIO && !data.isEmpty()) {
            m_source.Deliver(data.constData(), static_cast<size_t>(data.size()), true);
        }
    }

private:
    CZelSourceLogic& m_source;
};

class CZelSource : public CMakerFilter {
public:
    explicit CZelSource(CZelSourceLogic& source) : m_source(source) {}

    HRESULT Command(const tagGuid& command, void* block) override {
        if (command == CMD_FILTER_CONFIGURE) {
            auto* config = static_cast<tagStreamConfig*>(block);
            GstCaps* caps = nullptr;
            if (config->kind == 0 && config->mediaCode == 20 && config->width > 0 &&
                config->height > 0) {
                caps = gst_caps_new_simple("video/x-h264", "stream-format", G_TYPE_STRING,
                                           "byte-stream", "alignment", G_TYPE_STRING, "au", "width",
                                           G_TYPE_INT, config->width, "height", G_TYPE_INT,
                                           config->height, nullptr);
            } else if (config->kind == 1 && config->mediaCode == 40) {
                caps = GsmCaps();
            } else {
                config->result = 1;
                return E_INVALIDARG;
            }
            m_source.Configure(caps, config->kind == 0);
            gst_caps_unref(caps);
            m_window = std::make_unique<CSourceWindow>(m_source);
            m_window->m_video = config->kind == 0;
            m_window->CreateMessageWindow(QStringLiteral("_Zel Source"));
            config->handle = m_window->Handle();
            config->result = 0;
            return S_OK;
        }
        if (command == CMD_FILTER_START || command == CMD_FILTER_STOP) {
            if (!m_window) {
                return E_FAIL;
            }
            const bool start = command == CMD_FILTER_START;
            m_window->m_delivering = start;
            if (!start) {
                m_source.End();
            }
            return S_OK;
        }
        return E_NOINTERFACE;
    }

private:
    CZelSourceLogic& m_source;
    std::unique_ptr<CSourceWindow> m_window;
};

// Delivers every sample to a window as a copy-data message tagged with the stream's media
// code. Runs on the streaming thread; the window gets the bytes on its own.
class CZelRender : public CMakerFilter {
public:
    HRESULT Command(const tagGuid& command, void* block) override {
        if (command == CMD_FILTER_CONFIGURE) {
            auto* config = static_cast<tagStreamConfig*>(block);
            m_window = config->notifyWindow;
            m_tag = config->mediaCode;
            config->result = 0;
            return S_OK;
        }
        if (command == CMD_FILTER_QUERY) {
            *static_cast<int32_t*>(block) = m_delivered;
            return S_OK;
        }
        if (command == CMD_FILTER_START || command == CMD_FILTER_STOP) {
            m_on = command == CMD_FILTER_START;
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    static GstFlowReturn OnSample(GstAppSink* sink, gpointer self) {
        auto* render = static_cast<CZelRender*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) {
            return GST_FLOW_EOS;
        }
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (render->m_on && buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            if (CFilterWindow::PostCopyDataTo(render->m_window, render->m_tag,
                                              QByteArray(reinterpret_cast<const char*>(map.data),
                                                         static_cast<qsizetype>(map.size)))) {
                ++render->m_delivered;
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

private:
    std::atomic<int32_t> m_window{0};
    std::atomic<unsigned> m_tag{40};
    std::atomic<int32_t> m_delivered{0};
    std::atomic<bool> m_on{true};
};

// The play-out's render filter: one message per encoded frame to the notify window, at the
// pace of the file's own times.
class CZelVidRender : public CMakerFilter {
public:
    explicit CZelVidRender(GstElement* sink) : m_sink(sink) {}

    HRESULT Command(const tagGuid& command, void* block) override {
        if (command == CMD_FILTER_START) {
            auto* start = static_cast<tagVidRenderStart*>(block);
            m_window = start->notifyWindow;
            m_path = start->path ? QString::fromUtf16(start->path) : QString();
            return S_OK;
        }
        if (command == CMD_FILTER_STOP) {
            // Answers with the picture size of the stream that reached the filter.
            int width = 0, height = 0;
            if (GstPad* pad = gst_element_get_static_pad(m_sink, "sink")) {
                if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
                    const GstStructure* s = gst_caps_get_structure(caps, 0);
                    gst_structure_get_int(s, "width", &width);
                    gst_structure_get_int(s, "height", &height);
                    gst_caps_unref(caps);
                }
                gst_object_unref(pad);
            }
            // The answer packs the size as width * 65536 + height; a stream whose
            // size cannot be packed so (a damaged file's header) has no size.
            const bool packable = width > 0 && width <= 0x7FFF && height > 0 && height <= 0xFFFF;
            *static_cast<int32_t*>(block) = packable ? width * 65536 + height : 0;
            return packable ? S_OK : E_FAIL;
        }
        return E_NOINTERFACE;
    }

    static GstFlowReturn OnSample(GstAppSink* sink, gpointer self) {
        auto* render = static_cast<CZelVidRender*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) {
            return GST_FLOW_EOS;
        }
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            // A frame too long for the message's length field cannot be a frame of ours.
            if (map.size > 0 && map.size <= 0xFFFF) {
                int width = 0;
                if (GstCaps* caps = gst_sample_get_caps(sample)) {
                    gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &width);
                }
                tagPlayFrameHeader header;
                header.flags =
                    (static_cast<uint32_t>(width & 0xFFFF) << 16) |
                    (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT) ? 0u : 1u);
                header.length = static_cast<uint16_t>(map.size);
                QByteArray message(reinterpret_cast<const char*>(&header), sizeof header);
                message.append(reinterpret_cast<const char*>(map.data),
                               static_cast<qsizetype>(map.size));
                CFilterWindow::PostCopyDataTo(render->m_window, TAG_PLAY_FRAME, std::move(message));
                ++render->m_frames;
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

private:
    GstElement* m_sink;
    std::atomic<int32_t> m_window{0};
    QString m_path;
    std::atomic<int> m_frames{0};
};

class CZelFrameRate : public CMakerFilter {
public:
    explicit CZelFrameRate(GstElement* rate) : m_rate(rate) {}
    HRESULT Command(const tagGuid& command, void* block) override {
        if (command != CMD_FRAME_RATE) {
            return E_NOINTERFACE;
        }
        const int fps = *static_cast<int32_t*>(block);
        if (fps < 1) {
            return E_INVALIDARG;
        }
        g_object_set(m_rate, "max-rate", fps, nullptr);
        return S_OK;
    }

private:
    GstElement* m_rate;
};

// Feeds the wave input device's blocks into the graph. Blocks come back on the device's
// report thread, go into the source and are queued again until the filter goes away.
class CWaveFeed {
public:
    static constexpr int kHeaders = 8;
    static constexpr int kBlockBytes = 640;  // 40 ms of 8000 Hz 16-bit mono

    explicit CWaveFeed(GstAppSrc* source) : m_source(source) {}
    ~CWaveFeed() { Close(); }

    bool Open() {
        int error = 0;
        m_device = WaveInOpen(
            tagWaveFormat::Pcm16(8000, 1),
            [this](EWaveMsg msg, tagWaveHeader* header) { OnReport(msg, header); }, &error);
        if (!m_device) {
            return false;
        }
        for (int i = 0; i < kHeaders; ++i) {
            tagWaveHeader& h = m_headers[i];
            h.lpData = m_buffers[i].data();
            h.dwBufferLength = kBlockBytes;
            if (m_device->PrepareHeader(&h) != MMSYSERR_NOERROR ||
                m_device->AddBuffer(&h) != MMSYSERR_NOERROR) {
                Close();
                return false;
            }
        }
        return m_device->Start() == MMSYSERR_NOERROR;
    }

    void Close() {
        if (!m_device) {
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_device->Stop();
        m_device->Reset();
        m_device->UnprepareHeaders(m_headers);
        m_device->Close();
        m_device.reset();
    }

private:
    void OnReport(EWaveMsg msg, tagWaveHeader* header) {
        if (!header || (msg != EWaveMsg::Data && msg != EWaveMsg::Done)) {
            return;
        }
        std::lock_guard lock(m_mutex);
        if (m_closing) {
            return;
        }
        const int recorded = header->dwBytesRecorded;
        if (recorded > 0 && recorded <= kBlockBytes) {
            gst_app_src_push_buffer(m_source, gst_buffer_new_memdup(header->lpData, recorded));
        }
        m_device->AddBuffer(header);
    }

    GstAppSrc* m_source;
    std::unique_ptr<CWaveInDevice> m_device;
    std::array<tagWaveHeader, kHeaders> m_headers{};
    std::array<std::array<char, kBlockBytes>, kHeaders> m_buffers{};
    std::mutex m_mutex;
    bool m_closing = false;
};

GstElement* MakeAppSrc(const char* name) {
    GstElement* element = gst_element_factory_make("appsrc", name);
    if (element) {
        g_object_set(element, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp", TRUE,
                     "stream-type", 0, nullptr);
    }
    return element;
}

}  // namespace

HRESULT QueryInterface(IBaseFilter* filter, const tagGuid& command, void** block) {
    if (!filter) {
        return E_POINTER;
    }
    auto* maker = static_cast<CMakerFilter*>(g_object_get_data(G_OBJECT(filter), kMakerKey));
    if (!maker) {
        return E_NOINTERFACE;
    }
    if (!block || !*block) {
        return E_POINTER;
    }
    return maker->Command(command, *block);
}

IBaseFilter* MakeZelSource(const char* name) {
    auto logic = std::make_unique<CZelSourceLogic>();
    CZelSourceLogic& source = *logic;
    GstElement* element = MakeLogicElement(name, std::move(logic));
    Attach(element, new CZelSource(source));
    return element;
}

IBaseFilter* MakeZelRender(const char* name) {
    GstElement* element = gst_element_factory_make("appsink", name);
    if (!element) {
        return nullptr;
    }
    auto* render = new CZelRender;
    Attach(element, render);
    g_object_set(element, "sync", FALSE, "emit-signals", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &CZelRender::OnSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(element), &callbacks, render, nullptr);
    return element;
}

IBaseFilter* MakeZelVidRender(const char* name) {
    GstElement* element = gst_element_factory_make("appsink", name);
    if (!element) {
        return nullptr;
    }
    auto* render = new CZelVidRender(element);
    Attach(element, render);
    GstCaps* caps = H264Caps();
    g_object_set(element, "sync", TRUE, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &CZelVidRender::OnSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(element), &callbacks, render, nullptr);
    return element;
}

IBaseFilter* MakeZelFrameRate(const char* name) {
    GstElement* element = gst_element_factory_make("videorate", name);
    if (element) {
        Attach(element, new CZelFrameRate(element));
    }
    return element;
}

IBaseFilter* MakeWaveCapture(const char* name) {
    GstElement* element = MakeAppSrc(name);
    if (!element) {
        return nullptr;
    }
    GstCaps* caps = SpeechCaps();
    gst_app_src_set_caps(GST_APP_SRC(element), caps);
    gst_caps_unref(caps);
    auto* feed = new CWaveFeed(GST_APP_SRC(element));
    if (!feed->Open()) {
        delete feed;
        gst_object_unref(gst_object_ref_sink(element));
        return nullptr;
    }
    g_object_set_data_full(G_OBJECT(element), "tavo-wave-feed", feed,
                           [](gpointer p) { delete static_cast<CWaveFeed*>(p); });
    return element;
}
