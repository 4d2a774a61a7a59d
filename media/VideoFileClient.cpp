#include "media/VideoFileClient.h"

#include "infra/TraceLog.h"
#include "media/MakerFilters.h"

#include <gst/gst.h>

#include <QFileInfo>

#include <algorithm>

namespace {

constexpr char kModule[] = "CVideoFileClient";
constexpr GstClockTime kPrerollWait = 5 * GST_SECOND;

// Links the first H.264 stream the demultiplexer finds to the render filter; the others (the
// sound) go nowhere.
void OnDemuxPad(GstElement*, GstPad* pad, gpointer renderPtr) {
    auto* render = static_cast<GstElement*>(renderPtr);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) {
        caps = gst_pad_query_caps(pad, nullptr);
    }
    const bool h264 = caps && !gst_caps_is_empty(caps) &&
                      gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-h264");
    if (caps) {
        gst_caps_unref(caps);
    }
    if (!h264) {
        return;
    }
    GstPad* sink = gst_element_get_static_pad(render, "sink");
    if (!gst_pad_is_linked(sink)) {
        gst_pad_link(pad, sink);
    }
    gst_object_unref(sink);
}

}  // namespace

CVideoFileClient::~CVideoFileClient() {
    Close();
}

int CVideoFileClient::Create(IVideoSurface*, tagVideoRect rect, const QString& path,
                             int32_t notifyWindow, int& width, int& height) {
    Close();
    const auto fail = [this](const char* format, HRESULT hr) {
        TheTraceLog().Write(TRACE_ERROR, kModule, format, hr);
        Close();
        return -1;
    };
    m_graph = CreateGraph();
    HRESULT hr = m_ds.CreateVidRender(m_graph, &m_render);
    if (FAILED(hr)) {
        return fail("Create, CreateVidRender,hr=%d", hr);
    }
    tagVidRenderStart start;
    start.left = rect.left;
    start.top = rect.top;
    start.right = rect.right;
    start.bottom = rect.bottom;
    start.path = reinterpret_cast<const char16_t*>(path.utf16());
    start.notifyWindow = notifyWindow;
    void* block = &start;
    if (FAILED(hr = QueryInterface(m_render, CMD_FILTER_START, &block))) {
        return fail("Create, QueryInterface(start),hr=%d", hr);
    }
    if (!QFileInfo(path).isFile()) {
        return fail("Create, RenderFile, no such file,hr=%d", VFW_E_NOT_FOUND);
    }
    // Render the file: read it, split its streams and give the picture to the render filter.
    GstElement* reader = gst_element_factory_make("filesrc", "_File Source");
    GstElement* demux = gst_element_factory_make("avidemux", "_AVI Splitter");
    if (!reader || !demux) {
        if (reader) {
            gst_object_unref(gst_object_ref_sink(reader));
        }
        if (demux) {
            gst_object_unref(gst_object_ref_sink(demux));
        }
        return fail("Create, RenderFile,hr=%d", VFW_E_CANNOT_RENDER);
    }
    g_object_set(reader, "location", path.toUtf8().constData(), nullptr);
    gst_bin_add_many(GST_BIN(m_graph), reader, demux, nullptr);
    g_signal_connect(demux, "pad-added", G_CALLBACK(OnDemuxPad), m_render);
    if (!gst_element_link(reader, demux)) {
        return fail("Create, RenderFile,hr=%d", VFW_E_CANNOT_RENDER);
    }
    gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_PAUSED);
    GstState state = GST_STATE_NULL;
    const GstStateChangeReturn settled =
        gst_element_get_state(GST_ELEMENT(m_graph), &state, nullptr, kPrerollWait);
    GstPad* sink = gst_element_get_static_pad(m_render, "sink");
    const bool linked = gst_pad_is_linked(sink);
    gst_object_unref(sink);
    if (settled == GST_STATE_CHANGE_FAILURE || state != GST_STATE_PAUSED || !linked) {
        return fail("Create, RenderFile, no H.264 picture to play,hr=%d", VFW_E_CANNOT_RENDER);
    }
    int32_t size = 0;
    block = &size;
    if (FAILED(hr = QueryInterface(m_render, CMD_FILTER_STOP, &block))) {
        return fail("Create, QueryInterface(picture size),hr=%d", hr);
    }
    m_size = size;
    width = size >> 16;
    height = size & 0xFFFF;
    gint64 duration = 0;
    if (!gst_element_query_duration(GST_ELEMENT(m_graph), GST_FORMAT_TIME, &duration) ||
        duration < 0) {
        return fail("Create, IMediaSeeking::GetDuration,hr=%d", E_FAIL);
    }
    m_duration = static_cast<int>(duration / GST_SECOND);
    return 0;
}

int CVideoFileClient::Run() {
    return FAILED(RunGraph(m_graph)) ? -1 : 0;
}

int CVideoFileClient::Pause() {
    return FAILED(PauseGraph(m_graph)) ? -1 : 0;
}

int CVideoFileClient::Stop() {
    if (!m_graph) {
        return -1;
    }
    // Back to the start, ready to play again.
    gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_PAUSED);
    gst_element_get_state(GST_ELEMENT(m_graph), nullptr, nullptr, kPrerollWait);
    gst_element_seek_simple(GST_ELEMENT(m_graph), GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
                            0);
    m_ended = false;
    return 0;
}

int CVideoFileClient::Position() {
    if (!m_graph) {
        return 0;
    }
    // The end of the stream, or a file that breaks off, ends the play-out where it is.
    GstBus* bus = gst_element_get_bus(GST_ELEMENT(m_graph));
    while (GstMessage* message = gst_bus_pop(bus)) {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS ||
            GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            m_ended = true;
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    if (m_ended) {
        return m_duration;
    }
    gint64 position = 0;
    if (!gst_element_query_position(GST_ELEMENT(m_graph), GST_FORMAT_TIME, &position) ||
        position < 0) {
        return 0;
    }
    return std::min(static_cast<int>(position / GST_SECOND), m_duration);
}

int CVideoFileClient::Seek(int seconds) {
    if (!m_graph || seconds < 0 || seconds > m_duration) {
        return -1;
    }
    m_ended = false;
    return gst_element_seek_simple(
               GST_ELEMENT(m_graph), GST_FORMAT_TIME,
               static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
               static_cast<gint64>(seconds) * GST_SECOND)
               ? 0
               : -1;
}

void CVideoFileClient::Close() {
    Release(m_render);
    if (m_graph) {
        gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_NULL);
        m_ds.ReleaseOtherFilter(m_graph);
        Release(m_graph);
    }
    m_size = 0;
    m_duration = 0;
    m_ended = false;
}
