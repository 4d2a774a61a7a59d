#include "platform/audio/PulseContext.h"

#include "platform/ThreadSignals.h"

namespace {

void OnContextState(pa_context* c, void* loop) {
    CPulseContext::Signal(static_cast<pa_threaded_mainloop*>(loop));
}

void OnLoopStarted(pa_mainloop_api*, void*) {
    CThreadSignals::Prepare();
}

}  // namespace

std::shared_ptr<CPulseContext> CPulseContext::Connect() {
    std::shared_ptr<CPulseContext> self(new CPulseContext);
    self->m_pLoop = pa_threaded_mainloop_new();
    if (self->m_pLoop == nullptr)
        return nullptr;
    pa_proplist* props = pa_proplist_new();
    // No media role here: every stream would inherit it (each stream names its own).
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "tavo");
    self->m_pContext =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(self->m_pLoop), "tavo", props);
    pa_proplist_free(props);
    if (self->m_pContext == nullptr)
        return nullptr;
    pa_context_set_state_callback(self->m_pContext, OnContextState, self->m_pLoop);
    if (pa_context_connect(self->m_pContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return nullptr;
    // The loop's thread is libpulse's and runs every stream callback of ours: its alternate
    // stack is set by the first thing it runs.
    pa_mainloop_api_once(pa_threaded_mainloop_get_api(self->m_pLoop), OnLoopStarted, nullptr);
    if (pa_threaded_mainloop_start(self->m_pLoop) < 0)
        return nullptr;
    {
        CLock lock(*self);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(self->m_pContext);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state))
                return nullptr;
            pa_threaded_mainloop_wait(self->m_pLoop);
        }
    }
    return self;
}

CPulseContext::~CPulseContext() {
    if (m_pLoop != nullptr)
        pa_threaded_mainloop_stop(m_pLoop);
    if (m_pContext != nullptr) {
        pa_context_set_state_callback(m_pContext, nullptr, nullptr);
        pa_context_disconnect(m_pContext);
        pa_context_unref(m_pContext);
    }
    if (m_pLoop != nullptr)
        pa_threaded_mainloop_free(m_pLoop);
}

bool CPulseContext::IsReady() const {
    CLock lock(*this);
    return pa_context_get_state(m_pContext) == PA_CONTEXT_READY;
}

bool CPulseContext::Wait(pa_operation* op) const {
    if (op == nullptr)
        return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(m_pLoop);
    pa_operation_unref(op);
    return true;
}

bool CPulseContext::WaitReady(pa_stream* stream) const {
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY)
            return true;
        if (!PA_STREAM_IS_GOOD(state))
            return false;
        pa_threaded_mainloop_wait(m_pLoop);
    }
}
