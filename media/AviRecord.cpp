#include "media/AviRecord.h"

#include "infra/TraceLog.h"
#include "media/MakerFilters.h"

#include <gst/gst.h>

namespace {

constexpr char kModule[] = "CAviRecord";
// How long a stop waits for the file to be completed.
constexpr GstClockTime kFinishWait = 5 * GST_SECOND;

HRESULT Fail(const char* format, HRESULT hr) {
    TheTraceLog().Write(TRACE_ERROR, kModule, format, hr);
    return hr;
}

}  // namespace

CAviRecord::~CAviRecord() {
    Close();
}

HRESULT CAviRecord::Configure(IBaseFilter* source, int kind, int code, int32_t& window,
                              tagVideoRect rect, const QString& name) {
    tagStreamConfig config;
    config.kind = static_cast<uint8_t>(kind);
    config.mediaCode = static_cast<uint16_t>(code);
    config.notifyWindow = 0;
    config.handle = window;
    config.width = rect.Width();
    config.height = rect.Height();
    config.result = 0;
    config.name = reinterpret_cast<const char16_t*>(name.utf16());
    void* block = &config;
    const HRESULT hr = QueryInterface(source, CMD_FILTER_CONFIGURE, &block);
    window = config.handle;
    return SUCCEEDED(hr) && config.result != 0 ? E_FAIL : hr;
}

int CAviRecord::Create(IVideoSurface*, tagVideoRect rect, int32_t& videoWindow,
                       int32_t& audioWindow, const QString& fileName) {
    Close();
    m_graph = CreateGraph();
    HRESULT hr = m_ds.CreateZelSource(m_graph, &m_videoSource);
    if (SUCCEEDED(hr)) {
        hr = m_ds.CreateZelSource(m_graph, &m_audioSource);
    }
    if (FAILED(hr)) {
        Fail("Create, CreateZelSource,hr=%d", hr);
        Close();
        return -1;
    }
    if (FAILED(hr = m_ds.CreateAVIMux(m_graph, &m_mux))) {
        Fail("Create, CreateAVIMux,hr=%d", hr);
        Close();
        return -1;
    }
    if (FAILED(hr = m_ds.CreateFileWriter(m_graph, &m_writer))) {
        Fail("Create, CreateFileWriter,hr=%d", hr);
        Close();
        return -1;
    }
    // The multiplexer writes what comes as it comes (no interleaving of its own) and the
    // writer always overwrites: both are how these filters are made.
    if (FAILED(hr = Configure(m_videoSource, 0, 20, videoWindow, rect, fileName)) ||
        FAILED(hr = Configure(m_audioSource, 1, 40, audioWindow, rect, fileName))) {
        Fail("Create, Configure source,hr=%d", hr);
        Close();
        return -1;
    }
    if (FAILED(hr = m_ds.ConnectFiltersDirectly(m_graph, m_videoSource, m_mux))) {
        Fail("ConnectFilters, m_pZelVideoSourceVidRec, m_pAviMux,hr=%d", hr);
        Close();
        return -1;
    }
    if (FAILED(hr = m_ds.ConnectFiltersDirectly(m_graph, m_audioSource, m_mux))) {
        Fail("ConnectFilters, m_pZelVideoSourceAudRec, m_pAviMux,hr=%d", hr);
        Close();
        return -1;
    }
    if (FAILED(hr = m_ds.ConnectFiltersDirectly(m_graph, m_mux, m_writer))) {
        Fail("ConnectFilters, m_pAviMux, m_pFileWriter,hr=%d", hr);
        Close();
        return -1;
    }
    m_created = true;
    return 0;
}

int CAviRecord::SetFileName(const QString& path) {
    if (!m_writer || path.isEmpty()) {
        Fail("Create, QueryInterface(IID_IFileSinkFilter),hr=%d", E_NOINTERFACE);
        return -1;
    }
    g_object_set(m_writer, "location", path.toUtf8().constData(), nullptr);
    return 0;
}

int CAviRecord::Start() {
    if (!m_created || m_started) {
        return -1;
    }
    int32_t value = -1;
    void* block = &value;
    QueryInterface(m_videoSource, CMD_FILTER_START, &block);
    QueryInterface(m_audioSource, CMD_FILTER_START, &block);
    m_started = true;
    return 0;
}

int CAviRecord::Run() {
    const HRESULT hr = RunGraph(m_graph);
    if (FAILED(hr)) {
        Fail("Run, IMediaControl::Run,hr=%d", hr);
        return -1;
    }
    return 0;
}

int CAviRecord::Pause() {
    return FAILED(PauseGraph(m_graph)) ? -1 : 0;
}

int CAviRecord::StopGraph() {
    if (!m_graph) {
        return -1;
    }
    gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_NULL);
    return 0;
}

int CAviRecord::Stop() {
    if (!m_graph) {
        return -1;
    }
    GstState state = GST_STATE_NULL;
    gst_element_get_state(GST_ELEMENT(m_graph), &state, nullptr, 0);
    const bool flowing = state == GST_STATE_PLAYING || state == GST_STATE_PAUSED;
    if (flowing && state != GST_STATE_PLAYING) {
        // A paused live graph moves nothing; the end of the stream must reach the writer.
        gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_PLAYING);
    }
    int32_t value = -1;
    void* block = &value;
    QueryInterface(m_videoSource, CMD_FILTER_STOP, &block);
    QueryInterface(m_audioSource, CMD_FILTER_STOP, &block);
    int result = 0;
    if (flowing) {
        GstBus* bus = gst_element_get_bus(GST_ELEMENT(m_graph));
        GstMessage* message = gst_bus_timed_pop_filtered(
            bus, kFinishWait, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (!message || GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            Fail("Stop, the file was not completed,hr=%d", E_FAIL);
            result = -1;
        }
        if (message) {
            gst_message_unref(message);
        }
        gst_object_unref(bus);
    }
    m_started = false;
    StopGraph();
    return result;
}

int CAviRecord::Position() const {
    if (!m_graph) {
        return 0;
    }
    // The graph's running time: what has been recorded, pauses left out.
    const GstClockTime running = gst_element_get_current_running_time(GST_ELEMENT(m_graph));
    return GST_CLOCK_TIME_IS_VALID(running) ? static_cast<int>(running / GST_SECOND) : 0;
}

void CAviRecord::Close() {
    Release(m_videoSource);
    Release(m_audioSource);
    Release(m_mux);
    Release(m_writer);
    if (m_graph) {
        gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_NULL);
        m_ds.ReleaseOtherFilter(m_graph);
        Release(m_graph);
    }
    m_started = false;
    m_created = false;
}
