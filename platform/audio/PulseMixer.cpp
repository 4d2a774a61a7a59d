#include "platform/audio/PulseMixer.h"

#include "platform/audio/PulseContext.h"

#include <algorithm>

namespace {

struct tagSourceRow {
    QString name;
    QString description;
    bool monitor = false;
    pa_cvolume volume{};
    bool mute = false;
};

struct tagListing {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<tagSourceRow> rows;
    QString defaultSource;
    QString defaultSink;
    int sinks = 0;
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
    row.volume = info->volume;
    row.mute = info->mute != 0;
    listing->rows.push_back(row);
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* listing = static_cast<tagListing*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(listing->loop);
        return;
    }
    ++listing->sinks;
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

bool ListSources(CPulseContext& c, tagListing& listing) {
    CPulseContext::CLock lock(c);
    listing.loop = c.Loop();
    return c.Wait(pa_context_get_source_info_list(c.Context(), OnSource, &listing)) &&
           c.Wait(pa_context_get_server_info(c.Context(), OnServer, &listing));
}

bool Succeeded(CPulseContext& c, pa_operation* op, std::pair<pa_threaded_mainloop*, int>& r) {
    return c.Wait(op) && r.second != 0;
}

// The row of one source; false when the server does not list it.
bool FindSource(CPulseContext& c, const QString& name, tagSourceRow& found) {
    tagListing listing;
    if (!ListSources(c, listing))
        return false;
    for (const tagSourceRow& r : listing.rows)
        if (r.name == name) {
            found = r;
            return true;
        }
    return false;
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

int CPulseMixer::CountSources(CPulseContext& context) {
    tagListing listing;
    return ListSources(context, listing) ? static_cast<int>(listing.rows.size()) : 0;
}

int CPulseMixer::CountSinks(CPulseContext& context) {
    CPulseContext::CLock lock(context);
    tagListing listing;
    listing.loop = context.Loop();
    if (!context.Wait(pa_context_get_sink_info_list(context.Context(), OnSink, &listing)))
        return 0;
    return listing.sinks;
}

bool CPulseMixer::IsAvailable() {
    return m_source() != nullptr;
}

bool CPulseMixer::Refresh(CPulseContext& context, tagListControl& control) {
    tagListing listing;
    if (!ListSources(context, listing))
        return false;
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto exists = [&](const QString& name) {
        return std::any_of(listing.rows.begin(), listing.rows.end(),
                           [&](const tagSourceRow& r) { return r.name == name && !r.monitor; });
    };
    if (m_micSource.isEmpty() || !exists(m_micSource)) {
        m_micSource.clear();
        if (exists(listing.defaultSource))
            m_micSource = listing.defaultSource;
        else
            for (const tagSourceRow& r : listing.rows)
                if (!r.monitor) {
                    m_micSource = r.name;
                    break;
                }
    }
    control.singleSelect = true;
    control.items.clear();
    for (const tagSourceRow& r : listing.rows) {
        tagMixerItem item;
        item.name = r.description;
        item.id = r.name;
        item.monitor = r.monitor;
        item.componentType = r.name == m_micSource ? MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE
                             : r.monitor           ? MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT
                                                   : MIXERLINE_COMPONENTTYPE_SRC_LINE;
        item.value = r.name == listing.defaultSource;
        control.items.push_back(item);
    }
    return true;
}

bool CPulseMixer::GetListControl(tagListControl& control) {
    auto c = m_source();
    return c && Refresh(*c, control);
}

bool CPulseMixer::SetListControl(const tagListControl& control) {
    auto c = m_source();
    if (!c)
        return false;
    const auto chosen = std::find_if(control.items.begin(), control.items.end(),
                                     [](const tagMixerItem& i) { return i.value; });
    // A single-select control with nothing chosen keeps its current source.
    if (chosen == control.items.end())
        return true;
    CPulseContext::CLock lock(*c);
    std::pair<pa_threaded_mainloop*, int> result{c->Loop(), 0};
    return Succeeded(*c,
                     pa_context_set_default_source(c->Context(), chosen->id.toUtf8().constData(),
                                                   OnSuccess, &result),
                     result);
}

QString CPulseMixer::MicSource() {
    tagListControl control;
    if (!GetListControl(control))
        return QString();
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_micSource;
}

bool CPulseMixer::SetMicMute(bool mute) {
    auto c = m_source();
    const QString mic = MicSource();
    if (!c || mic.isEmpty())
        return false;
    CPulseContext::CLock lock(*c);
    std::pair<pa_threaded_mainloop*, int> result{c->Loop(), 0};
    return Succeeded(*c,
                     pa_context_set_source_mute_by_name(c->Context(), mic.toUtf8().constData(),
                                                        mute ? 1 : 0, OnSuccess, &result),
                     result);
}

bool CPulseMixer::GetMicMute(bool& mute) {
    auto c = m_source();
    const QString mic = MicSource();
    tagSourceRow row;
    if (!c || mic.isEmpty() || !FindSource(*c, mic, row))
        return false;
    mute = row.mute;
    return true;
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
    std::pair<pa_threaded_mainloop*, int> result{c->Loop(), 0};
    return Succeeded(*c,
                     pa_context_set_sink_volume_by_name(c->Context(), "@DEFAULT_SINK@", &volume,
                                                        OnSuccess, &result),
                     result);
}
bool CPulseMixer::GetMicVolume(std::vector<unsigned>& channels) {
    auto c = m_source();
    const QString mic = MicSource();
    tagSourceRow row;
    if (!c || mic.isEmpty() || !FindSource(*c, mic, row))
        return false;
    channels.clear();
    for (int i = 0; i < row.volume.channels; ++i) channels.push_back(ToMixer(row.volume.values[i]));
    return !channels.empty();
}

bool CPulseMixer::SetMicVolume(unsigned value) {
    auto c = m_source();
    const QString mic = MicSource();
    tagSourceRow row;
    if (!c || mic.isEmpty() || !FindSource(*c, mic, row) || row.volume.channels == 0)
        return false;
    pa_cvolume volume;
    pa_cvolume_set(&volume, row.volume.channels, ToServer(value));
    CPulseContext::CLock lock(*c);
    std::pair<pa_threaded_mainloop*, int> result{c->Loop(), 0};
    return Succeeded(*c,
                     pa_context_set_source_volume_by_name(c->Context(), mic.toUtf8().constData(),
                                                          &volume, OnSuccess, &result),
                     result);
}

bool CPulseMixer::MicVolumeRange(unsigned& minimum, unsigned& maximum) {
    if (MicSource().isEmpty())
        return false;
    minimum = 0;
    maximum = 65535;
    return true;
}
