#include "media/DsFilter.h"

#include "media/AvFilters.h"
#include "media/MakerFilters.h"
#include "platform/audio/WaveSystem.h"
#include "video/Picture.h"
#include "video/VideoCapture.h"

#include <gst/gst.h>

#include <QFile>

#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

const tagGuid CLSID_AudioCompressorCategory =
    tagGuid::FromString("{33D9A761-90C8-11D0-BD43-00A0C911CE86}");
const tagGuid CLSID_AudioInputDeviceCategory =
    tagGuid::FromString("{33D9A762-90C8-11D0-BD43-00A0C911CE86}");
const tagGuid CLSID_VideoInputDeviceCategory =
    tagGuid::FromString("{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
const tagGuid CLSID_VideoCompressorCategory =
    tagGuid::FromString("{33D9A760-90C8-11D0-BD43-00A0C911CE86}");
const tagGuid CLSID_LegacyAmFilterCategory =
    tagGuid::FromString("{083863F1-70DE-11D0-BD40-00A0C911CE86}");

namespace {

GstElement* Factory(const char* factory, const char* name) {
    return gst_element_factory_make(factory, name);
}

GstElement* MakeSampleGrabber(const char* name) {
    GstElement* sink = gst_element_factory_make("appsink", name);
    if (sink) {
        GstCaps* caps =
            gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
        g_object_set(sink, "caps", caps, "drop", TRUE, "max-buffers", 1, "sync", FALSE,
                     "enable-last-sample", TRUE, nullptr);
        gst_caps_unref(caps);
    }
    return sink;
}

// What each class identifier is made of; a null maker is a class this system has no filter
// for (the H.263, DivX and Xvid codecs, the voice-activity detector).
struct tagClass {
    const char* clsid;
    const char* graphName;
    std::function<GstElement*(const char*)> make;
};

const std::vector<tagClass>& Classes() {
    static const std::vector<tagClass> classes = {
        {"{79376820-07D0-11CF-A24D-0020AFD79767}", "_Audio Render",
         [](const char* n) { return Factory("pulsesink", n); }},
        {"{70E102B0-5556-11CE-97C0-00AA0055595A}", "_Video Render",
         [](const char* n) { return Factory("autovideosink", n); }},
        {"{C9076CE2-FB56-11CF-906C-00AA00A59F69}", "_H263 Encode", nullptr},
        {"{33363248-0000-0010-8000-00AA00389B71}", "_H263 Decode", nullptr},
        {"{399D5C90-74AB-11D0-9CCF-00A0C9081C19}", "_Rtp Demux",
         [](const char* n) { return Factory("rtpptdemux", n); }},
        {"{EC941960-7DF6-11D0-9643-00AA00A89C1D}", "_Rtp Sph",
         [](const char* n) { return Factory("rtpgsmpay", n); }},
        {"{EC941961-7DF6-11D0-9643-00AA00A89C1D}", "_Rtp Rph",
         [](const char* n) { return Factory("rtpgsmdepay", n); }},
        {"{00D20921-7E20-11D0-B291-00C04FC31D18}", "_Rtp Sender",
         [](const char* n) { return Factory("udpsink", n); }},
        {"{00D20920-7E20-11D0-B291-00C04FC31D18}", "_Rtp Source",
         [](const char* n) { return Factory("udpsrc", n); }},
        {"{CC58E280-8AA1-11D1-B3F1-00AA003761C5}", "_Smart Tee",
         [](const char* n) { return Factory("tee", n); }},
        {"{82CCD3E0-F71A-11D0-9FE5-00609778AAAA}", "_Divx Fast Dec", nullptr},
        {"{64697678-0000-0010-8000-00AA00389B71}", "_Xvid Dec", nullptr},
        {"{AD302A16-91D3-4DA9-B0FB-12C2AC2A4003}", "_Zel Source", MakeZelSource},
        {"{0E8D184E-FB56-44AC-A1CC-9EDD5D317403}", "_Zel Render", MakeZelRender},
        {"{6A08CF80-0E18-11CF-A24D-0020AFD79767}", "_Acm Wrapper",
         [](const char* n) { return Factory("audioconvert", n); }},
        {"{8A616613-A111-11D3-A432-0060B0FC246C}", "_Cisco VAD", nullptr},
        {"{CF49D4E0-1115-11CE-B03A-0020AF0BA770}", "_AVI Dec",
         [](const char* n) { return Factory("videoconvert", n); }},
        {"{FC0A4D24-09E6-47A1-9317-DD426E7C16A9}", "_Zel FRate", MakeZelFrameRate},
        {"{F8388A40-D5BB-11D0-BE5A-0080C706568E}", "_Inf Tee",
         [](const char* n) { return Factory("tee", n); }},
        {"{E2510970-F137-11CE-8B67-00AA00A3F1A6}", "_AVI Mux", MakeAviMux},
        {"{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}", "_File Writer",
         [](const char* n) {
             GstElement* sink = Factory("filesink", n);
             if (sink) {
                 // The writer overwrites; it never appends to an old file.
                 g_object_set(sink, "append", FALSE, "async", FALSE, nullptr);
             }
             return sink;
         }},
        {"{7A28E020-273E-44AC-BA57-FE69E565E2AC}", "_Zel Vid Render", MakeZelVidRender},
        {"{C1F400A0-3F08-11D3-9F0B-006008039E37}", "_Sample Grabber", MakeSampleGrabber},
    };
    return classes;
}

// Filters of a graph, oldest first, each with a reference the caller drops.
std::vector<GstElement*> Filters(IGraphBuilder* graph) {
    std::vector<GstElement*> filters;
    if (!graph) {
        return filters;
    }
    GST_OBJECT_LOCK(graph);
    for (GList* l = GST_BIN_CHILDREN(graph); l; l = l->next) {
        filters.insert(filters.begin(), GST_ELEMENT(gst_object_ref(l->data)));
    }
    GST_OBJECT_UNLOCK(graph);
    return filters;
}

void Unref(std::vector<GstElement*>& filters) {
    for (GstElement* f : filters) {
        gst_object_unref(f);
    }
    filters.clear();
}

std::vector<GstPad*> Pins(GstElement* filter) {
    std::vector<GstPad*> pins;
    GST_OBJECT_LOCK(filter);
    for (GList* l = GST_ELEMENT_PADS(filter); l; l = l->next) {
        pins.push_back(GST_PAD(gst_object_ref(l->data)));
    }
    GST_OBJECT_UNLOCK(filter);
    return pins;
}

GstPadDirection Direction(PIN_DIRECTION d) {
    return d == PINDIR_INPUT ? GST_PAD_SINK : GST_PAD_SRC;
}

// A graph refuses two filters of one name; later ones are numbered, as the framework does.
QByteArray FreeName(IGraphBuilder* graph, const char* wanted) {
    QByteArray name(wanted);
    for (int n = 1;; ++n) {
        GstElement* taken = gst_bin_get_by_name(GST_BIN(graph), name.constData());
        if (!taken) {
            return name;
        }
        gst_object_unref(taken);
        name = QByteArray(wanted) + QByteArray(" ") + QByteArray::number(n).rightJustified(4, '0');
    }
}

HRESULT AddFilter(IGraphBuilder* graph, GstElement* made, IBaseFilter** filter) {
    gst_object_ref_sink(made);
    if (!gst_bin_add(GST_BIN(graph), made)) {
        gst_object_unref(made);
        return E_FAIL;
    }
    *filter = made;
    return S_OK;
}

HRESULT CreateNamed(IGraphBuilder* graph, const char* clsid, IBaseFilter** filter) {
    if (!graph || !filter) {
        return E_POINTER;
    }
    const tagGuid wanted = tagGuid::FromString(clsid);
    for (const tagClass& c : Classes()) {
        if (tagGuid::FromString(c.clsid) != wanted) {
            continue;
        }
        if (!c.make) {
            return REGDB_E_CLASSNOTREG;
        }
        GstElement* made = c.make(FreeName(graph, c.graphName).constData());
        if (!made) {
            return REGDB_E_CLASSNOTREG;
        }
        return AddFilter(graph, made, filter);
    }
    return REGDB_E_CLASSNOTREG;
}

// A device: its friendly name and how its filter is made.
struct tagDevice {
    QString name;
    std::function<GstElement*()> make;
};

std::vector<tagDevice> Devices(const tagGuid& category) {
    std::vector<tagDevice> devices;
    if (category == CLSID_AudioCompressorCategory) {
        devices.push_back({QStringLiteral("GSM 6.10"), [] { return MakeGsmCompressor("gsm"); }});
        if (GstElementFactory* lame = gst_element_factory_find("lamemp3enc")) {
            gst_object_unref(lame);
            devices.push_back({QStringLiteral("MPEG Layer-3"),
                               [] { return gst_element_factory_make("lamemp3enc", nullptr); }});
        }
    } else if (category == CLSID_AudioInputDeviceCategory) {
        if (WaveInGetNumDevs() > 0) {
            devices.push_back(
                {CWaveSystem::Current().Name(), [] { return MakeWaveCapture("capture"); }});
        }
    } else if (category == CLSID_VideoInputDeviceCategory) {
        const QString configured = CVideoCapture::ConfiguredSource();
        if (!configured.isEmpty()) {
            // A description may end in caps, which the parser takes only between two
            // elements.
            devices.push_back({configured, [configured] {
                                   const QByteArray whole = configured.toUtf8() + " ! identity";
                                   return gst_parse_bin_from_description(whole.constData(), TRUE,
                                                                         nullptr);
                               }});
        }
        GstDeviceMonitor* monitor = gst_device_monitor_new();
        gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
        if (gst_device_monitor_start(monitor)) {
            GList* found = gst_device_monitor_get_devices(monitor);
            for (GList* d = found; d; d = d->next) {
                GstDevice* device = GST_DEVICE(gst_object_ref(d->data));
                gchar* shown = gst_device_get_display_name(device);
                auto keep = std::shared_ptr<GstDevice>(device, gst_object_unref);
                devices.push_back({QString::fromUtf8(shown), [keep] {
                                       return gst_device_create_element(keep.get(), nullptr);
                                   }});
                g_free(shown);
            }
            g_list_free_full(found, gst_object_unref);
            gst_device_monitor_stop(monitor);
        }
        gst_object_unref(monitor);
    }
    // The video compressors and the legacy filters the system looks for (MPEG-4 V2, DivX,
    // Xvid) have no counterpart here; those categories are empty.
    return devices;
}

HRESULT CreateDevice(CDsFilter& ds, IGraphBuilder* graph, const tagGuid& category,
                     const QString& name, const char* graphName, IBaseFilter** filter) {
    if (!graph || !filter) {
        return E_POINTER;
    }
    IBaseFilter* made = nullptr;
    const HRESULT hr = ds.FindDevice(category, name, nullptr, &made);
    if (FAILED(hr)) {
        return hr;
    }
    gst_object_set_name(GST_OBJECT(made), FreeName(graph, graphName).constData());
    if (!gst_bin_add(GST_BIN(graph), made)) {
        gst_object_unref(made);
        return E_FAIL;
    }
    *filter = made;
    return S_OK;
}

std::mutex& RememberedMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& Remembered() {
    static QString name;
    return name;
}

// A converter between two pins that do not take each other's format.
GstElement* Converter(GstPad* from) {
    GstCaps* caps = gst_pad_query_caps(from, nullptr);
    const char* description = nullptr;
    if (caps && !gst_caps_is_empty(caps) && !gst_caps_is_any(caps)) {
        const gchar* media = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        if (g_str_has_prefix(media, "audio/x-raw")) {
            description = "audioconvert ! audioresample";
        } else if (g_str_has_prefix(media, "video/x-raw")) {
            description = "videoconvert ! videoscale";
        }
    }
    if (caps) {
        gst_caps_unref(caps);
    }
    return description ? gst_parse_bin_from_description(description, TRUE, nullptr) : nullptr;
}

}  // namespace

IGraphBuilder* CreateGraph() {
    EnsureGstreamer();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    gst_object_ref_sink(pipeline);
    return GST_PIPELINE(pipeline);
}

void Release(IGraphBuilder*& graph) {
    if (graph) {
        gst_element_set_state(GST_ELEMENT(graph), GST_STATE_NULL);
        gst_object_unref(graph);
        graph = nullptr;
    }
}

void Release(IBaseFilter*& filter) {
    if (filter) {
        gst_object_unref(filter);
        filter = nullptr;
    }
}

void Release(IPin*& pin) {
    if (pin) {
        gst_object_unref(pin);
        pin = nullptr;
    }
}

namespace {
HRESULT SetGraphState(IGraphBuilder* graph, GstState state) {
    if (!graph) {
        return E_POINTER;
    }
    return gst_element_set_state(GST_ELEMENT(graph), state) == GST_STATE_CHANGE_FAILURE ? E_FAIL
                                                                                        : S_OK;
}
}  // namespace

HRESULT RunGraph(IGraphBuilder* graph) {
    return SetGraphState(graph, GST_STATE_PLAYING);
}

HRESULT PauseGraph(IGraphBuilder* graph) {
    return SetGraphState(graph, GST_STATE_PAUSED);
}

HRESULT StopGraph(IGraphBuilder* graph) {
    return SetGraphState(graph, GST_STATE_NULL);
}

QString FilterName(IBaseFilter* filter) {
    if (!filter) {
        return {};
    }
    gchar* name = gst_object_get_name(GST_OBJECT(filter));
    QString text = QString::fromUtf8(name);
    g_free(name);
    return text;
}

int FilterCount(IGraphBuilder* graph) {
    auto filters = Filters(graph);
    const int count = static_cast<int>(filters.size());
    Unref(filters);
    return count;
}

#define TAVO_CLASS_FILTER(Operation, clsid)                                    \
    HRESULT CDsFilter::Operation(IGraphBuilder* graph, IBaseFilter** filter) { \
        return CreateNamed(graph, clsid, filter);                              \
    }
TAVO_CLASS_FILTER(CreateAudioRender, "{79376820-07D0-11CF-A24D-0020AFD79767}")
TAVO_CLASS_FILTER(CreateVideoRender, "{70E102B0-5556-11CE-97C0-00AA0055595A}")
TAVO_CLASS_FILTER(CreateH263Encoder, "{C9076CE2-FB56-11CF-906C-00AA00A59F69}")
TAVO_CLASS_FILTER(CreateH263Decoder, "{33363248-0000-0010-8000-00AA00389B71}")
TAVO_CLASS_FILTER(CreateRtpDemux, "{399D5C90-74AB-11D0-9CCF-00A0C9081C19}")
TAVO_CLASS_FILTER(CreateRtpSph, "{EC941960-7DF6-11D0-9643-00AA00A89C1D}")
TAVO_CLASS_FILTER(CreateRtpRph, "{EC941961-7DF6-11D0-9643-00AA00A89C1D}")
TAVO_CLASS_FILTER(CreateRtpRender, "{00D20921-7E20-11D0-B291-00C04FC31D18}")
TAVO_CLASS_FILTER(CreateRtpSource, "{00D20920-7E20-11D0-B291-00C04FC31D18}")
TAVO_CLASS_FILTER(CreateSmartTee, "{CC58E280-8AA1-11D1-B3F1-00AA003761C5}")
TAVO_CLASS_FILTER(CreateDivxFastUnCompress, "{82CCD3E0-F71A-11D0-9FE5-00609778AAAA}")
TAVO_CLASS_FILTER(CreateXvidUnCompress, "{64697678-0000-0010-8000-00AA00389B71}")
TAVO_CLASS_FILTER(CreateZelSource, "{AD302A16-91D3-4DA9-B0FB-12C2AC2A4003}")
TAVO_CLASS_FILTER(CreateZelRender, "{0E8D184E-FB56-44AC-A1CC-9EDD5D317403}")
TAVO_CLASS_FILTER(CreateAcmWrapper, "{6A08CF80-0E18-11CF-A24D-0020AFD79767}")
TAVO_CLASS_FILTER(CreateCiscoVAD, "{8A616613-A111-11D3-A432-0060B0FC246C}")
TAVO_CLASS_FILTER(CreateAVIDec, "{CF49D4E0-1115-11CE-B03A-0020AF0BA770}")
TAVO_CLASS_FILTER(CreateZelFRate, "{FC0A4D24-09E6-47A1-9317-DD426E7C16A9}")
TAVO_CLASS_FILTER(CreateZelInfTee, "{F8388A40-D5BB-11D0-BE5A-0080C706568E}")
TAVO_CLASS_FILTER(CreateAVIMux, "{E2510970-F137-11CE-8B67-00AA00A3F1A6}")
TAVO_CLASS_FILTER(CreateFileWriter, "{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}")
TAVO_CLASS_FILTER(CreateVidRender, "{7A28E020-273E-44AC-BA57-FE69E565E2AC}")
TAVO_CLASS_FILTER(CreateSampleGrabber, "{C1F400A0-3F08-11D3-9F0B-006008039E37}")
#undef TAVO_CLASS_FILTER

HRESULT CDsFilter::CreateByClassId(IGraphBuilder* graph, const tagGuid& clsid,
                                   IBaseFilter** filter) {
    return CreateNamed(graph, clsid.ToString().toLatin1().constData(), filter);
}

HRESULT CDsFilter::FindDevice(const tagGuid& category, const QString& name, QStringList* list,
                              IBaseFilter** filter) {
    EnsureGstreamer();
    const std::vector<tagDevice> devices = Devices(category);
    if (list) {
        for (const tagDevice& d : devices) {
            list->append(d.name);
        }
        return S_OK;
    }
    if (!filter) {
        return E_POINTER;
    }
    for (const tagDevice& d : devices) {
        if (!name.isEmpty() && d.name != name) {
            continue;
        }
        GstElement* made = d.make();
        if (!made) {
            return E_FAIL;
        }
        *filter = GST_ELEMENT(gst_object_ref_sink(made));
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CDsFilter::CreateMp3Compress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_AudioCompressorCategory, QStringLiteral("MPEG Layer-3"),
                        "_MPEG Layer-3", filter);
}

HRESULT CDsFilter::CreateGsmCompress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_AudioCompressorCategory, QStringLiteral("GSM 6.10"),
                        "_GSM 6.10", filter);
}

HRESULT CDsFilter::CreateTrueSpeechCompress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_AudioCompressorCategory,
                        QStringLiteral("DSP Group TrueSpeech(TM)"), "_True Speech Filter", filter);
}

HRESULT CDsFilter::CreateAudioCapture(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_AudioInputDeviceCategory, QString(), "_Audio Capture",
                        filter);
}

HRESULT CDsFilter::CreateVideoCapture(IGraphBuilder* graph, IBaseFilter** filter) {
    QStringList names;
    FindDevice(CLSID_VideoInputDeviceCategory, QString(), &names, nullptr);
    if (names.isEmpty()) {
        return -1;
    }
    const QString name = names.size() == 1 ? QString() : RememberedVideoDevice();
    return CreateDevice(*this, graph, CLSID_VideoInputDeviceCategory, name, "_Video Capture",
                        filter);
}

HRESULT CDsFilter::CreateMpeg42Compress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_VideoCompressorCategory,
                        QStringLiteral("Microsoft MPEG-4 Video Codec V2"), "_Mpeg42 Codec Filter",
                        filter);
}

HRESULT CDsFilter::CreateMpeg42UnCompress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_LegacyAmFilterCategory,
                        QStringLiteral("Mpeg4 Decoder DMO"), "_Mpeg42 UnCompress", filter);
}

HRESULT CDsFilter::CreateDivxFastCompress(IGraphBuilder* graph, IBaseFilter** filter) {
    const HRESULT hr =
        CreateDevice(*this, graph, CLSID_VideoCompressorCategory,
                     QStringLiteral("DivX ;-) MPEG-4 Fast-Motion"), "_Divx Fast Enc", filter);
    if (SUCCEEDED(hr)) {
        return hr;
    }
    return CreateDevice(*this, graph, CLSID_VideoCompressorCategory,
                        QStringLiteral("DivX MPEG-4 (Fast-Motion)"), "_Divx Fast Enc", filter);
}

HRESULT CDsFilter::CreateXvidCompress(IGraphBuilder* graph, IBaseFilter** filter) {
    return CreateDevice(*this, graph, CLSID_VideoCompressorCategory,
                        QStringLiteral("XviD MPEG-4 Video Encoder"), "_Xvid Fast Enc", filter);
}

HRESULT CDsFilter::GetPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin, bool any) {
    if (!filter || !pin) {
        return E_POINTER;
    }
    const GstPadDirection wanted = Direction(direction);
    std::vector<GstPad*> pins = Pins(filter);
    GstPad* found = nullptr;
    for (GstPad* p : pins) {
        if (!found && GST_PAD_DIRECTION(p) == wanted && (any || !gst_pad_is_linked(p))) {
            found = GST_PAD(gst_object_ref(p));
        }
        gst_object_unref(p);
    }
    if (!found) {
        // A tee or a multiplexer makes a new pin whenever one is wanted.
        GstElementClass* klass = GST_ELEMENT_GET_CLASS(filter);
        for (GList* l = gst_element_class_get_pad_template_list(klass); l && !found; l = l->next) {
            auto* templ = GST_PAD_TEMPLATE(l->data);
            if (GST_PAD_TEMPLATE_DIRECTION(templ) == wanted &&
                GST_PAD_TEMPLATE_PRESENCE(templ) == GST_PAD_REQUEST) {
                found = gst_element_request_pad(filter, templ, nullptr, nullptr);
            }
        }
    }
    if (!found) {
        return E_FAIL;
    }
    *pin = found;
    return S_OK;
}

HRESULT CDsFilter::ConnectFiltersDirectly(IGraphBuilder* graph, IBaseFilter* upstream,
                                          IBaseFilter* downstream) {
    return Connect(graph, upstream, downstream, false);
}

HRESULT CDsFilter::ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream,
                                  IBaseFilter* downstream) {
    return Connect(graph, upstream, downstream, true);
}

HRESULT CDsFilter::Connect(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream,
                           bool convert) {
    if (!graph || !upstream || !downstream) {
        return E_POINTER;
    }
    IPin* out = nullptr;
    HRESULT hr = GetPin(upstream, PINDIR_OUTPUT, &out, false);
    if (FAILED(hr)) {
        return hr;
    }
    IPin* in = nullptr;
    if (FAILED(GetPin(downstream, PINDIR_INPUT, &in, false))) {
        Release(out);
        return E_FAIL;
    }
    hr = S_OK;
    if (!GST_PAD_LINK_SUCCESSFUL(gst_pad_link(out, in))) {
        hr = VFW_E_CANNOT_CONNECT;
        // The formats differ: an intelligent connection puts a converter between them.
        GstElement* converter = convert ? Converter(out) : nullptr;
        if (converter) {
            gst_bin_add(GST_BIN(graph), converter);
            GstPad* convIn = gst_element_get_static_pad(converter, "sink");
            GstPad* convOut = gst_element_get_static_pad(converter, "src");
            if (GST_PAD_LINK_SUCCESSFUL(gst_pad_link(out, convIn)) &&
                GST_PAD_LINK_SUCCESSFUL(gst_pad_link(convOut, in))) {
                gst_element_sync_state_with_parent(converter);
                hr = S_OK;
            } else {
                gst_pad_unlink(out, convIn);
                gst_bin_remove(GST_BIN(graph), converter);
            }
            gst_object_unref(convIn);
            gst_object_unref(convOut);
        }
    }
    Release(in);
    Release(out);
    return hr;
}

namespace {

HRESULT DisconnectFirst(IGraphBuilder* graph, IBaseFilter* filter, GstPadDirection direction) {
    if (!graph || !filter) {
        return -1;
    }
    std::vector<GstPad*> pins = Pins(filter);
    HRESULT hr = E_FAIL;
    bool done = false;
    for (GstPad* p : pins) {
        if (!done && GST_PAD_DIRECTION(p) == direction) {
            done = true;
            hr = S_OK;
            if (GstPad* peer = gst_pad_get_peer(p)) {
                if (direction == GST_PAD_SRC) {
                    gst_pad_unlink(p, peer);
                } else {
                    gst_pad_unlink(peer, p);
                }
                gst_object_unref(peer);
            } else {
                hr = S_FALSE;
            }
        }
        gst_object_unref(p);
    }
    return hr;
}

void Nuke(IGraphBuilder* graph, GstElement* filter, GstPadDirection towards) {
    std::vector<GstPad*> pins = Pins(filter);
    for (GstPad* p : pins) {
        GstPad* q = gst_pad_get_peer(p);
        if (q && GST_PAD_DIRECTION(q) == towards) {
            GstElement* other = gst_pad_get_parent_element(q);
            if (other) {
                Nuke(graph, other, towards);
                if (towards == GST_PAD_SINK) {
                    gst_pad_unlink(p, q);
                } else {
                    gst_pad_unlink(q, p);
                }
                if (GST_OBJECT_PARENT(other) == GST_OBJECT(graph)) {
                    gst_element_set_state(other, GST_STATE_NULL);
                    gst_bin_remove(GST_BIN(graph), other);
                }
                gst_object_unref(other);
            }
        }
        if (q) {
            gst_object_unref(q);
        }
        gst_object_unref(p);
    }
}

}  // namespace

HRESULT CDsFilter::DisconnectFiltersOut(IGraphBuilder* graph, IBaseFilter* filter) {
    return DisconnectFirst(graph, filter, GST_PAD_SRC);
}

HRESULT CDsFilter::DisconnectFiltersIn(IGraphBuilder* graph, IBaseFilter* filter) {
    return DisconnectFirst(graph, filter, GST_PAD_SINK);
}

HRESULT CDsFilter::NukeDownstream(IGraphBuilder* graph, IBaseFilter* filter) {
    if (!graph || !filter) {
        return E_POINTER;
    }
    Nuke(graph, filter, GST_PAD_SINK);
    return S_OK;
}

HRESULT CDsFilter::NukeUpstream(IGraphBuilder* graph, IBaseFilter* filter) {
    if (!graph || !filter) {
        return E_POINTER;
    }
    Nuke(graph, filter, GST_PAD_SRC);
    return S_OK;
}

HRESULT CDsFilter::DisconnectAllFilterPin(IGraphBuilder* graph) {
    if (!graph) {
        return 1;
    }
    std::vector<GstElement*> filters = Filters(graph);
    for (GstElement* f : filters) {
        // A filter an earlier walk removed is no longer this graph's.
        if (GST_OBJECT_PARENT(f) == GST_OBJECT(graph)) {
            NukeDownstream(graph, f);
            NukeUpstream(graph, f);
        }
    }
    Unref(filters);
    return S_OK;
}

HRESULT CDsFilter::QueryFilters(IGraphBuilder* graph, const QString& name, IBaseFilter** filter,
                                bool any) {
    if (!graph || !filter) {
        return E_POINTER;
    }
    std::vector<GstElement*> filters = Filters(graph);
    HRESULT hr = E_FAIL;
    for (GstElement* f : filters) {
        if (FAILED(hr) && (any || FilterName(f).left(128) == name)) {
            *filter = GST_ELEMENT(gst_object_ref(f));
            hr = S_OK;
        }
    }
    Unref(filters);
    return hr;
}

HRESULT CDsFilter::ReleaseOtherFilter(IGraphBuilder* graph) {
    if (!graph) {
        return E_FAIL;
    }
    for (;;) {
        std::vector<GstElement*> filters = Filters(graph);
        if (filters.empty()) {
            return S_OK;
        }
        GstElement* first = filters.front();
        gst_element_set_state(first, GST_STATE_NULL);
        const bool removed = gst_bin_remove(GST_BIN(graph), first);
        Unref(filters);
        if (!removed) {
            return E_FAIL;
        }
    }
}

HRESULT CDsFilter::SaveGraphFile(IGraphBuilder* graph, const QString& path) {
    if (!graph) {
        return E_POINTER;
    }
    gchar* dot = gst_debug_bin_to_dot_data(GST_BIN(graph), GST_DEBUG_GRAPH_SHOW_ALL);
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.write(dot) == static_cast<qint64>(std::strlen(dot));
    g_free(dot);
    return written ? S_OK : STG_E_ACCESSDENIED;
}

HRESULT CDsFilter::CapturePicture(IBaseFilter* grabber, const QString& path) {
    if (!grabber) {
        return E_POINTER;
    }
    GstSample* sample = nullptr;
    g_object_get(grabber, "last-sample", &sample, nullptr);
    if (!sample) {
        return E_FAIL;
    }
    HRESULT hr = E_FAIL;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    int width = 0, height = 0;
    if (caps) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
    }
    GstMapInfo map;
    if (buffer && width > 0 && height > 0 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (map.size >= static_cast<gsize>(width) * height * 4) {
            tagVideoPicture picture;
            picture.width = width;
            picture.height = height;
            picture.bgra = QByteArray(reinterpret_cast<const char*>(map.data), width * height * 4);
            for (qsizetype i = 3; i < picture.bgra.size(); i += 4) {
                picture.bgra[i] = static_cast<char>(0xFF);
            }
            hr = WriteBmpFile(path, picture) == 0 ? S_OK : E_FAIL;
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return hr;
}

HRESULT CDsFilter::ConfigRtpRender(IBaseFilter*, const QString&, int) {
    return S_OK;
}

HRESULT CDsFilter::ConfigRtpSource(IBaseFilter*, const QString&, int) {
    return S_OK;
}

HRESULT CDsFilter::ConfigRtpDemux(IBaseFilter*, int) {
    return S_OK;
}

QString CDsFilter::RememberedVideoDevice() {
    std::lock_guard lock(RememberedMutex());
    return Remembered();
}

void CDsFilter::SetRememberedVideoDevice(const QString& name) {
    std::lock_guard lock(RememberedMutex());
    Remembered() = name;
}
