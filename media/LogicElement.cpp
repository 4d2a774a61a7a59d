#include "media/LogicElement.h"

#include <atomic>
#include <cstring>

// The GObject type that carries a logic. Its pads call into the logic under the logic's lock.
struct TavoLogicElement {
    GstElement parent;
    CElementLogic* logic;
};
struct TavoLogicElementClass {
    GstElementClass parent_class;
};

G_DEFINE_TYPE(TavoLogicElement, tavo_logic_element, GST_TYPE_ELEMENT)

namespace {

TavoLogicElement* Self(GstObject* parent) {
    return reinterpret_cast<TavoLogicElement*>(parent);
}

int InputIndex(GstPad* pad) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(pad), "tavo-input"));
}

}  // namespace

struct tagLogicAccess {
    static void Reset(CElementLogic* logic) {
        std::lock_guard lock(logic->m_lock);
        logic->m_started = false;
        logic->OnReset();
    }

    static void Playing(CElementLogic* logic) {
        std::lock_guard lock(logic->m_lock);
        logic->OnPlaying();
    }

    static GstFlowReturn Chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
        CElementLogic* logic = Self(parent)->logic;
        std::lock_guard lock(logic->m_lock);
        return logic->OnBuffer(InputIndex(pad), buffer);
    }

    static gboolean SinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
        CElementLogic* logic = Self(parent)->logic;
        const int input = InputIndex(pad);
        switch (GST_EVENT_TYPE(event)) {
            case GST_EVENT_CAPS: {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                bool ok = false;
                {
                    std::lock_guard lock(logic->m_lock);
                    ok = logic->OnCaps(input, caps);
                }
                gst_event_unref(event);
                return ok;
            }
            case GST_EVENT_EOS: {
                std::lock_guard lock(logic->m_lock);
                logic->OnEndOfStream(input);
                gst_event_unref(event);
                return TRUE;
            }
            case GST_EVENT_STREAM_START:
            case GST_EVENT_SEGMENT:
            case GST_EVENT_TAG:
                // The output announces its own stream.
                gst_event_unref(event);
                return TRUE;
            default:
                return gst_pad_event_default(pad, parent, event);
        }
    }

    static gboolean Query(GstPad* pad, GstObject* parent, GstQuery* query) {
        CElementLogic* logic = Self(parent)->logic;
        GstCaps* own = nullptr;
        if (GST_PAD_DIRECTION(pad) == GST_PAD_SINK) {
            own = logic->m_accepts[InputIndex(pad)];
        } else {
            own = logic->m_produces;
        }
        switch (GST_QUERY_TYPE(query)) {
            case GST_QUERY_CAPS: {
                GstCaps* filter = nullptr;
                gst_query_parse_caps(query, &filter);
                GstCaps* result =
                    filter ? gst_caps_intersect_full(filter, own, GST_CAPS_INTERSECT_FIRST)
                           : gst_caps_ref(own);
                gst_query_set_caps_result(query, result);
                gst_caps_unref(result);
                return TRUE;
            }
            case GST_QUERY_ACCEPT_CAPS: {
                GstCaps* caps = nullptr;
                gst_query_parse_accept_caps(query, &caps);
                gst_query_set_accept_caps_result(query, gst_caps_can_intersect(caps, own));
                return TRUE;
            }
            default:
                return gst_pad_query_default(pad, parent, query);
        }
    }
};

static void tavo_logic_element_finalize(GObject* object) {
    delete reinterpret_cast<TavoLogicElement*>(object)->logic;
    G_OBJECT_CLASS(tavo_logic_element_parent_class)->finalize(object);
}

static GstStateChangeReturn tavo_logic_element_change_state(GstElement* element,
                                                            GstStateChange transition) {
    CElementLogic* logic = reinterpret_cast<TavoLogicElement*>(element)->logic;
    if (transition == GST_STATE_CHANGE_PAUSED_TO_PLAYING && logic) {
        tagLogicAccess::Playing(logic);
    }
    GstStateChangeReturn result =
        GST_ELEMENT_CLASS(tavo_logic_element_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        if (logic) {
            tagLogicAccess::Reset(logic);
        }
    }
    return result;
}

static void tavo_logic_element_class_init(TavoLogicElementClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = tavo_logic_element_finalize;
    GST_ELEMENT_CLASS(klass)->change_state = tavo_logic_element_change_state;
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Tavo filter", "Filter",
                                          "A filter of the client's media graphs", "Tavo");
}

static void tavo_logic_element_init(TavoLogicElement* self) {
    self->logic = nullptr;
}

void CElementLogic::AddInput(const char* name, GstCaps* accepts) {
    GstPad* pad = gst_pad_new(name, GST_PAD_SINK);
    g_object_set_data(G_OBJECT(pad), "tavo-input", GINT_TO_POINTER(m_inputs.size()));
    gst_pad_set_chain_function(pad, tagLogicAccess::Chain);
    gst_pad_set_event_function(pad, tagLogicAccess::SinkEvent);
    gst_pad_set_query_function(pad, tagLogicAccess::Query);
    m_inputs.push_back(pad);
    m_accepts.push_back(accepts);
    gst_element_add_pad(m_element, pad);
}

void CElementLogic::AddOutput(const char* name, GstCaps* produces) {
    m_output = gst_pad_new(name, GST_PAD_SRC);
    m_produces = produces;
    gst_pad_set_query_function(m_output, tagLogicAccess::Query);
    gst_pad_use_fixed_caps(m_output);
    gst_element_add_pad(m_element, m_output);
}

void CElementLogic::SetOutputCaps(GstCaps* caps) {
    gst_caps_replace(&m_produces, caps);
}

bool CElementLogic::InputLinked(int input) const {
    return input >= 0 && input < InputCount() && gst_pad_is_linked(m_inputs[input]);
}

GstCaps* CElementLogic::PeerCaps(int input) const {
    if (!InputLinked(input)) {
        return nullptr;
    }
    GstCaps* caps = gst_pad_peer_query_caps(m_inputs[input], nullptr);
    if (caps && !gst_caps_is_fixed(caps)) {
        gst_caps_unref(caps);
        return nullptr;
    }
    return caps;
}

void CElementLogic::StartOutput(GstCaps* caps, GstFormat format) {
    if (!m_output || m_started) {
        return;
    }
    m_started = true;
    m_format = format;
    gst_pad_set_active(m_output, TRUE);
    // An element with several inputs names its output stream itself.
    static std::atomic<unsigned> streams{0};
    gchar* id = g_strdup_printf("tavo-%s-%u", GST_OBJECT_NAME(m_element), ++streams);
    gst_pad_push_event(m_output, gst_event_new_stream_start(id));
    g_free(id);
    gst_pad_push_event(m_output, gst_event_new_caps(caps));
    GstSegment segment;
    gst_segment_init(&segment, format);
    gst_pad_push_event(m_output, gst_event_new_segment(&segment));
}

GstFlowReturn CElementLogic::Push(GstBuffer* buffer) {
    if (!m_output || !m_started) {
        gst_buffer_unref(buffer);
        return GST_FLOW_NOT_LINKED;
    }
    return gst_pad_push(m_output, buffer);
}

bool CElementLogic::SeekOutput(uint64_t offset) {
    if (!m_output || !m_started || m_format != GST_FORMAT_BYTES) {
        return false;
    }
    // A file sink moves its write position to the start of a new byte segment.
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_BYTES);
    segment.start = offset;
    segment.time = offset;
    segment.position = offset;
    return gst_pad_push_event(m_output, gst_event_new_segment(&segment));
}

void CElementLogic::EndOutput() {
    if (m_output && m_started) {
        gst_pad_push_event(m_output, gst_event_new_eos());
    }
}

GstElement* MakeLogicElement(const char* name, std::unique_ptr<CElementLogic> logic) {
    auto* self = static_cast<TavoLogicElement*>(
        g_object_new(tavo_logic_element_get_type(), "name", name, nullptr));
    self->logic = logic.release();
    self->logic->m_element = GST_ELEMENT(self);
    self->logic->Build();
    return GST_ELEMENT(self);
}

CElementLogic* LogicOf(GstElement* element) {
    if (!element || !G_TYPE_CHECK_INSTANCE_TYPE(element, tavo_logic_element_get_type())) {
        return nullptr;
    }
    return reinterpret_cast<TavoLogicElement*>(element)->logic;
}
