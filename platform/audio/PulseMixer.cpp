#include "platform/audio/PulseMixer.h"

#include "platform/audio/PulseContext.h"

#include <algorithm>

namespace {

struct tagSourceRow {
    QString name;
    QString description;
    bool monitor = false;
    int channels = 0;
};

struct tagListing {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<tagSourceRow> sources;
    std::vector<std::pair<QString, QString>> sinks;  // name, its monitor
    QString defaultSource;
    QString defaultSink;
    pa_cvolume sinkVolume{};
};

void OnSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* listing = static_cast<tagListing*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(listing->loop);
        return;
    }
    tagSourceRow row;
    row.name = QString::fromUtf8(info->name);
    row.description = QString::fromUtf8(info->description ? info->description : info->name);
    row.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    row.channels = info->channel_map.channels;
    listing->sources.push_back(row);
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* listing = static_cast<tagListing*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(listing->loop);
        return;
    }
    listing->sinks.emplace_back(
        QString::fromUtf8(info->name),
        QString::fromUtf8(info->monitor_source_name ? info->monitor_source_name : ""));
}

void OnSinkVolume(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* listing = static_cast<tagListing*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(listing->loop);
        return;
    }
    listing->sinkVolume = info->volume;
}

void OnServer(pa_context*, const pa_server_info* info, void* userdata) {
    auto* listing = static_cast<tagListing*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr)
        listing->defaultSource = QString::fromUtf8(info->default_source_name);
    if (info != nullptr && info->default_sink_name != nullptr)
        listing->defaultSink = QString::fromUtf8(info->default_sink_name);
    CPulseContext::Signal(listing->loop);
}

void OnSuccess(pa_context*, int success, void* userdata) {
    auto* result = static_cast<std::pair<pa_threaded_mainloop*, int>*>(userdata);
    result->second = success;
    CPulseContext::Signal(result->first);
}

bool List(CPulseContext& c, tagListing& listing) {
    CPulseContext::CLock lock(c);
    listing.loop = c.Loop();
    return c.Wait(pa_context_get_source_info_list(c.Context(), OnSource, &listing)) &&
           c.Wait(pa_context_get_sink_info_list(c.Context(), OnSink, &listing)) &&
           c.Wait(pa_context_get_server_info(c.Context(), OnServer, &listing));
}

// With the lock held: runs an operation that reports success and waits for it.
template <typename Start>
bool Succeeds(CPulseContext& c, Start start) {
    std::pair<pa_threaded_mainloop*, int> result{c.Loop(), 0};
    return c.Wait(start(OnSuccess, &result)) && result.second != 0;
}

// A real input: neither the monitor of an output nor a mix of ours.
bool IsInput(const tagSourceRow& row) {
    return !row.monitor && !CPulseStereoMix::IsMixDevice(row.name);
}

// The mixer speaks 0..65535 per channel; the server's 0..PA_VOLUME_NORM is its full scale.
unsigned ToMixer(pa_volume_t v) {
    const uint64_t clamped = std::min<uint64_t>(v, PA_VOLUME_NORM);
    return static_cast<unsigned>((clamped * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM);
}

pa_volume_t ToServer(unsigned value) {
    const uint64_t v = std::min(value, 65535u);
    return static_cast<pa_volume_t>((v * PA_VOLUME_NORM + 32767) / 65535);
}

}  // namespace

// What the server has now, as the mixer needs it.
struct CPulseMixer::tagServerView {
    std::vector<tagSourceRow> sources;
    QString outputMonitor;  // the default output's monitor; empty without an output

    bool Has(const QString& source) const {
        return std::any_of(sources.begin(), sources.end(),
                           [&](const tagSourceRow& r) { return r.name == source; });
    }
};

CPulseMixer::~CPulseMixer() {
    // Never a new connection this late: the mix goes only if the one it was built on lives.
    std::lock_guard<std::mutex> guard(m_mutex);
    if (auto c = m_mixContext.lock(); c && m_mix.IsBuilt())
        m_mix.TearDown(*c);
}

void CPulseMixer::OnConnected(CPulseContext& context) {
    CPulseStereoMix::RemoveLeftovers(context);
}

int CPulseMixer::CountInputs(CPulseContext& context) {
    tagListing listing;
    if (!List(context, listing))
        return 0;
    return static_cast<int>(std::count_if(listing.sources.begin(), listing.sources.end(), IsInput));
}

int CPulseMixer::CountSinks(CPulseContext& context) {
    tagListing listing;
    if (!List(context, listing))
        return 0;
    return static_cast<int>(std::count_if(listing.sinks.begin(), listing.sinks.end(), [](auto& s) {
        return !CPulseStereoMix::IsMixDevice(s.first);
    }));
}

bool CPulseMixer::IsAvailable() {
    return m_source() != nullptr;
}

bool CPulseMixer::Look(CPulseContext& context, tagServerView& view) {
    tagListing listing;
    if (!List(context, listing))
        return false;
    view.sources.clear();
    for (const tagSourceRow& r : listing.sources)
        if (!CPulseStereoMix::IsMixDevice(r.name))
            view.sources.push_back(r);
    view.outputMonitor.clear();
    for (const auto& [sink, monitor] : listing.sinks)
        if (sink == listing.defaultSink && !CPulseStereoMix::IsMixDevice(sink))
            view.outputMonitor = monitor;
    // The microphone: the one the desktop chose, else the one we had, else the first input.
    const auto input = [&](const QString& name) {
        return std::find_if(view.sources.begin(), view.sources.end(),
                            [&](const tagSourceRow& r) { return r.name == name && IsInput(r); });
    };
    auto mic = input(listing.defaultSource);
    if (mic == view.sources.end())
        mic = input(m_mic);
    if (mic == view.sources.end())
        mic = std::find_if(view.sources.begin(), view.sources.end(), IsInput);
    m_mic = mic == view.sources.end() ? QString() : mic->name;
    m_micChannels = mic == view.sources.end() ? 0 : mic->channels;
    return true;
}

template <typename Result, typename F>
Result CPulseMixer::Looked(Result none, F f) {
    auto c = m_source();
    std::lock_guard<std::mutex> guard(m_mutex);
    tagServerView view;
    if (!c || !Look(*c, view))
        return none;
    return f(c, view);
}

QString CPulseMixer::RecordingSourceLocked(const tagServerView& view) const {
    if (m_selected == QLatin1String(kStereoMix))
        return m_mix.IsBuilt() ? m_mix.MonitorSource() : view.outputMonitor;
    if (!m_selected.isEmpty() && view.Has(m_selected))
        return m_selected;
    return m_mic;
}

bool CPulseMixer::GetListControl(tagListControl& control) {
    return Looked(false, [&](const ContextPtr&, const tagServerView& view) {
        ListLines(view, control);
        return true;
    });
}

void CPulseMixer::ListLines(const tagServerView& view, tagListControl& control) const {
    const QString recorded = m_selected.isEmpty() ? m_mic : m_selected;
    control.singleSelect = true;
    control.items.clear();
    if (!view.outputMonitor.isEmpty() || !m_mic.isEmpty()) {
        const QString mix = QString::fromLatin1(kStereoMix);
        control.items.push_back(
            {mix, mix, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, recorded == mix, true});
    }
    for (const tagSourceRow& r : view.sources) {
        tagMixerItem item;
        item.name = r.description;
        item.id = r.name;
        item.monitor = r.monitor;
        item.componentType = r.name == m_mic ? MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE
                             : r.monitor     ? MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT
                                             : MIXERLINE_COMPONENTTYPE_SRC_LINE;
        item.value = r.name == recorded;
        control.items.push_back(item);
    }
}

bool CPulseMixer::SetListControl(const tagListControl& control) {
    const auto chosen = std::find_if(control.items.begin(), control.items.end(),
                                     [](const tagMixerItem& i) { return i.value; });
    // A single-select control with nothing chosen keeps its current line.
    if (chosen == control.items.end())
        return true;
    return Looked(false, [&](const ContextPtr& c, const tagServerView& view) {
        if (chosen->id == QLatin1String(kStereoMix)) {
            // Without a mix of our own (a server that refuses modules) the default output's
            // monitor is the next best: what the machine plays, without the microphone.
            if (!m_mix.Build(*c, m_mic, view.outputMonitor))
                m_mix.TearDown(*c);
            m_mixContext = c;
            m_selected = chosen->id;
        } else {
            if (!view.Has(chosen->id))
                return false;
            m_mix.TearDown(*c);
            m_selected = chosen->id == m_mic ? QString() : chosen->id;
        }
        const QString source = RecordingSourceLocked(view);
        MoveRecorders(*c, source);
        ApplyMicLine(*c);
        return !source.isEmpty();
    });
}

void CPulseMixer::Release() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_selected.clear();
    if (!m_mix.IsBuilt())
        return;
    auto c = m_source();
    if (!c)
        return;
    m_mix.TearDown(*c);
    MoveRecorders(*c, m_mic);
    ApplyMicLine(*c);
}

QString CPulseMixer::RecordingSource() {
    return Looked(QString(), [&](const ContextPtr&, const tagServerView& view) {
        return RecordingSourceLocked(view);
    });
}

void CPulseMixer::AttachRecorder(pa_stream* stream, const QString& source) {
    auto c = m_source();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_recorders.push_back({stream, source});
    if (c)
        ApplyMicLine(*c);
}

void CPulseMixer::DetachRecorder(pa_stream* stream) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_recorders.erase(std::remove_if(m_recorders.begin(), m_recorders.end(),
                                     [&](const tagRecorder& r) { return r.stream == stream; }),
                      m_recorders.end());
}

void CPulseMixer::MoveRecorders(CPulseContext& c, const QString& source) {
    if (source.isEmpty())
        return;
    const QByteArray name = source.toUtf8();
    for (tagRecorder& r : m_recorders) {
        if (r.source == source)
            continue;
        CPulseContext::CLock lock(c);
        const uint32_t index = pa_stream_get_index(r.stream);
        if (Succeeds(c, [&](auto done, auto* data) {
                return pa_context_move_source_output_by_name(c.Context(), index, name.constData(),
                                                             done, data);
            }))
            r.source = source;
    }
}

void CPulseMixer::ApplyMicLine(CPulseContext& c) {
    pa_cvolume line;
    pa_cvolume_set(&line, 1, ToServer(m_lineVolume));
    if (m_mix.IsBuilt()) {
        const uint32_t input = m_mix.MicInput(c);
        if (input != PA_INVALID_INDEX) {
            CPulseContext::CLock lock(c);
            Succeeds(c, [&](auto done, auto* data) {
                return pa_context_set_sink_input_volume(c.Context(), input, &line, done, data);
            });
            Succeeds(c, [&](auto done, auto* data) {
                return pa_context_set_sink_input_mute(c.Context(), input, m_lineMute ? 1 : 0, done,
                                                      data);
            });
        }
    }
    // A recorder on the microphone itself records through the line; on anything else it
    // records what is there.
    pa_cvolume full;
    pa_cvolume_set(&full, 1, PA_VOLUME_NORM);
    for (const tagRecorder& r : m_recorders) {
        const bool onMic = !m_mic.isEmpty() && r.source == m_mic;
        CPulseContext::CLock lock(c);
        const uint32_t index = pa_stream_get_index(r.stream);
        Succeeds(c, [&](auto done, auto* data) {
            return pa_context_set_source_output_volume(c.Context(), index, onMic ? &line : &full,
                                                       done, data);
        });
        Succeeds(c, [&](auto done, auto* data) {
            return pa_context_set_source_output_mute(c.Context(), index,
                                                     onMic && m_lineMute ? 1 : 0, done, data);
        });
    }
}

// The microphone's line exists while the server has a microphone.
bool CPulseMixer::SetMicMute(bool mute) {
    return Looked(false, [&](const ContextPtr& c, const tagServerView&) {
        if (m_mic.isEmpty())
            return false;
        m_lineMute = mute;
        ApplyMicLine(*c);
        return true;
    });
}

bool CPulseMixer::GetMicMute(bool& mute) {
    return Looked(false, [&](const ContextPtr&, const tagServerView&) {
        mute = m_lineMute;
        return !m_mic.isEmpty();
    });
}

bool CPulseMixer::GetMicVolume(std::vector<unsigned>& channels) {
    return Looked(false, [&](const ContextPtr&, const tagServerView&) {
        channels.assign(static_cast<size_t>(std::max(1, m_micChannels)), m_lineVolume);
        return !m_mic.isEmpty();
    });
}

bool CPulseMixer::SetMicVolume(unsigned value) {
    return Looked(false, [&](const ContextPtr& c, const tagServerView&) {
        if (m_mic.isEmpty())
            return false;
        m_lineVolume = std::min(value, 65535u);
        ApplyMicLine(*c);
        return true;
    });
}

bool CPulseMixer::MicVolumeRange(unsigned& minimum, unsigned& maximum) {
    minimum = 0;
    maximum = 65535;
    return Looked(false, [&](const ContextPtr&, const tagServerView&) { return !m_mic.isEmpty(); });
}

bool CPulseMixer::GetSpeakerVolume(std::vector<unsigned>& channels) {
    auto c = m_source();
    if (!c)
        return false;
    tagListing listing;
    {
        CPulseContext::CLock lock(*c);
        listing.loop = c->Loop();
        if (!c->Wait(pa_context_get_server_info(c->Context(), OnServer, &listing)) ||
            listing.defaultSink.isEmpty() ||
            !c->Wait(pa_context_get_sink_info_by_name(
                c->Context(), listing.defaultSink.toUtf8().constData(), OnSinkVolume, &listing)))
            return false;
    }
    channels.clear();
    for (int i = 0; i < listing.sinkVolume.channels; ++i)
        channels.push_back(ToMixer(listing.sinkVolume.values[i]));
    return !channels.empty();
}

bool CPulseMixer::SetSpeakerVolume(unsigned value) {
    std::vector<unsigned> channels;
    if (!GetSpeakerVolume(channels))
        return false;
    auto c = m_source();
    if (!c)
        return false;
    pa_cvolume volume;
    pa_cvolume_set(&volume, static_cast<unsigned>(channels.size()), ToServer(value));
    CPulseContext::CLock lock(*c);
    return Succeeds(*c, [&](auto done, auto* data) {
        return pa_context_set_sink_volume_by_name(c->Context(), "@DEFAULT_SINK@", &volume, done,
                                                  data);
    });
}
