#include "media/AudioServer.h"

#include "infra/TraceLog.h"
#include "media/MakerFilters.h"

#include <gst/gst.h>

namespace {
constexpr char kModule[] = "CAudioServer";
}

CAudioServer::~CAudioServer() {
    Destroy();
}

bool CAudioServer::Create(CMessageWindow*) {
    Destroy();
    const auto fail = [this](const char* format, HRESULT hr) {
        TheTraceLog().Write(TRACE_ERROR, kModule, format, hr);
        m_created = false;
        Destroy();
        return false;
    };
    if (!IsWindow() && !CreateMessageWindow(QStringLiteral("CAudioServer"))) {
        return fail("Create, CreateWindow,hr=%d", E_FAIL);
    }
    m_graph = CreateGraph();
    HRESULT hr = m_ds.CreateAudioCapture(m_graph, &m_capture);
    if (FAILED(hr)) {
        return fail("Create, CreateAudioCapture,hr=%d", hr);
    }
    if (FAILED(hr = m_ds.CreateGsmCompress(m_graph, &m_compressor))) {
        return fail("Create, CreateGsmCompress,hr=%d", hr);
    }
    if (FAILED(hr = m_ds.CreateZelRender(m_graph, &m_render))) {
        return fail("Create, CreateZelRender,hr=%d", hr);
    }
    tagStreamConfig target;
    target.kind = 1;
    target.mediaCode = 40;
    target.notifyWindow = Handle();
    void* block = &target;
    if (FAILED(hr = QueryInterface(m_render, CMD_FILTER_CONFIGURE, &block))) {
        return fail("Create, QueryInterface(configure render),hr=%d", hr);
    }
    m_ds.DisconnectAllFilterPin(m_graph);
    if (FAILED(hr = m_ds.ConnectFilters(m_graph, m_capture, m_compressor))) {
        return fail("Create, ConnectFilters(capture, compressor),hr=%d", hr);
    }
    if (FAILED(hr = m_ds.ConnectFiltersDirectly(m_graph, m_compressor, m_render))) {
        return fail("Create, ConnectFiltersDirectly(compressor, render),hr=%d", hr);
    }
    block = &m_registration;
    QueryInterface(m_render, CMD_FILTER_QUERY, &block);
    m_created = true;
    if (Run() != 0) {
        return fail("Create, IMediaControl::Run,hr=%d", E_FAIL);
    }
    return true;
}

int CAudioServer::Run() {
    return FAILED(RunGraph(m_graph)) ? -1 : 0;
}

int CAudioServer::Pause() {
    return FAILED(PauseGraph(m_graph)) ? -1 : 0;
}

void CAudioServer::Destroy() {
    DestroyMessageWindow();
    if (m_graph) {
        gst_element_set_state(GST_ELEMENT(m_graph), GST_STATE_NULL);
    }
    Release(m_render);
    Release(m_compressor);
    Release(m_capture);
    if (m_graph) {
        m_ds.ReleaseOtherFilter(m_graph);
        Release(m_graph);
    }
    m_created = false;
}

void CAudioServer::OnCopyData(unsigned tag, const QByteArray& data) {
    if (tag == 40) {
        OnAudioData(data.constData(), static_cast<int>(data.size()));
    }
}

void CMyAudioServer::OnAudioData(const void* data, int length) {
    if (m_owner) {
        m_owner->OnAudioBlock(static_cast<const char*>(data), length);
    }
}
