#include "platform/audio/PulseStereoMix.h"

#include "platform/audio/PulseContext.h"

#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// What our loopbacks' inputs carry, so that the microphone's can be found again.
constexpr const char* kLineProperty = "tavo.line";
constexpr const char* kOwnerProperty = "tavo.owner.pid";
constexpr const char* kMicLine = "microphone";
constexpr const char* kOutputLine = "output";
// Short enough that the voice is not late, long enough for a loaded desktop.
constexpr int kLoopbackLatencyMs = 40;

struct tagModuleRow {
    uint32_t index = PA_INVALID_INDEX;
    QString name;
    QString argument;
};

struct tagModuleListing {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<tagModuleRow> rows;
};

void OnModule(pa_context*, const pa_module_info* info, int eol, void* userdata) {
    auto* listing = static_cast<tagModuleListing*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(listing->loop);
        return;
    }
    listing->rows.push_back({info->index, QString::fromUtf8(info->name),
                             QString::fromUtf8(info->argument ? info->argument : "")});
}

struct tagIndexResult {
    pa_threaded_mainloop* loop = nullptr;
    uint32_t index = PA_INVALID_INDEX;
};

void OnIndex(pa_context*, uint32_t index, void* userdata) {
    auto* result = static_cast<tagIndexResult*>(userdata);
    result->index = index;
    CPulseContext::Signal(result->loop);
}

void OnDone(pa_context*, int, void* loop) {
    CPulseContext::Signal(static_cast<pa_threaded_mainloop*>(loop));
}

struct tagInputSearch {
    pa_threaded_mainloop* loop = nullptr;
    QByteArray owner;
    uint32_t found = PA_INVALID_INDEX;
};

void OnSinkInput(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto* search = static_cast<tagInputSearch*>(userdata);
    if (eol != 0 || info == nullptr) {
        CPulseContext::Signal(search->loop);
        return;
    }
    const char* line = pa_proplist_gets(info->proplist, kLineProperty);
    const char* owner = pa_proplist_gets(info->proplist, kOwnerProperty);
    if (line != nullptr && owner != nullptr && qstrcmp(line, kMicLine) == 0 &&
        search->owner == owner)
        search->found = info->index;
}

uint32_t LoadModule(CPulseContext& c, const char* name, const QString& argument) {
    CPulseContext::CLock lock(c);
    tagIndexResult result{c.Loop()};
    if (!c.Wait(pa_context_load_module(c.Context(), name, argument.toUtf8().constData(), OnIndex,
                                       &result)))
        return PA_INVALID_INDEX;
    return result.index;
}

void UnloadModule(CPulseContext& c, uint32_t& index) {
    if (index == PA_INVALID_INDEX)
        return;
    CPulseContext::CLock lock(c);
    c.Wait(pa_context_unload_module(c.Context(), index, OnDone, c.Loop()));
    index = PA_INVALID_INDEX;
}

QString OwnPid() {
    return QString::number(::getpid());
}

bool ProcessGone(qint64 pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

QString CPulseStereoMix::SinkName() {
    return QString::fromLatin1(kSinkPrefix) + OwnPid();
}

bool CPulseStereoMix::IsMixDevice(const QString& name) {
    return name.startsWith(QLatin1String(kSinkPrefix));
}

uint32_t CPulseStereoMix::LoadLoopback(CPulseContext& c, const QString& source, const char* line) {
    // Both ends stay where they are put: a loopback moved off our sink would play the
    // microphone on the user's speakers.
    const QString argument =
        QStringLiteral(
            "source=%1 sink=%2 latency_msec=%3 source_dont_move=true "
            "sink_dont_move=true sink_input_properties='%4=%5 %6=%7 %8=%9'")
            .arg(source, SinkName(), QString::number(kLoopbackLatencyMs),
                 QLatin1String(PA_PROP_MEDIA_ROLE), QLatin1String(CPulseContext::kStreamRole),
                 QLatin1String(kLineProperty), QLatin1String(line), QLatin1String(kOwnerProperty),
                 OwnPid());
    return LoadModule(c, "module-loopback", argument);
}

bool CPulseStereoMix::Build(CPulseContext& c, const QString& mic, const QString& outputMonitor) {
    if (!IsBuilt()) {
        m_sinkModule = LoadModule(
            c, "module-null-sink",
            QStringLiteral("sink_name=%1 sink_properties='device.description=\"Tavo Stereo Mix\" "
                           "%2=%3'")
                .arg(SinkName(), QLatin1String(kOwnerProperty), OwnPid()));
        if (!IsBuilt())
            return false;
        m_mic.clear();
        m_outputMonitor.clear();
    }
    if (m_mic != mic || m_micModule == PA_INVALID_INDEX) {
        UnloadModule(c, m_micModule);
        m_micInput = PA_INVALID_INDEX;
        m_mic = mic;
        if (!mic.isEmpty())
            m_micModule = LoadLoopback(c, mic, kMicLine);
    }
    if (m_outputMonitor != outputMonitor || m_outputModule == PA_INVALID_INDEX) {
        UnloadModule(c, m_outputModule);
        m_outputMonitor = outputMonitor;
        if (!outputMonitor.isEmpty())
            m_outputModule = LoadLoopback(c, outputMonitor, kOutputLine);
    }
    return true;
}

void CPulseStereoMix::TearDown(CPulseContext& c) {
    // The loopbacks first: nothing is ever left playing into a sink that is going away.
    UnloadModule(c, m_micModule);
    UnloadModule(c, m_outputModule);
    UnloadModule(c, m_sinkModule);
    m_micInput = PA_INVALID_INDEX;
    m_mic.clear();
    m_outputMonitor.clear();
}

uint32_t CPulseStereoMix::MicInput(CPulseContext& c) {
    if (m_micModule == PA_INVALID_INDEX || m_micInput != PA_INVALID_INDEX)
        return m_micInput;
    // PipeWire creates a loopback's streams a moment after the module has loaded.
    for (int attempt = 0; attempt < 50 && m_micInput == PA_INVALID_INDEX; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CPulseContext::CLock lock(c);
        tagInputSearch search{c.Loop(), OwnPid().toUtf8()};
        if (!c.Wait(pa_context_get_sink_input_info_list(c.Context(), OnSinkInput, &search)))
            break;
        m_micInput = search.found;
    }
    return m_micInput;
}

int CPulseStereoMix::RemoveLeftovers(CPulseContext& c) {
    tagModuleListing listing;
    {
        CPulseContext::CLock lock(c);
        listing.loop = c.Loop();
        if (!c.Wait(pa_context_get_module_info_list(c.Context(), OnModule, &listing)))
            return 0;
    }
    static const QRegularExpression owner(QStringLiteral("%1(\\d+)").arg(kSinkPrefix));
    std::vector<uint32_t> loopbacks;
    std::vector<uint32_t> sinks;
    for (const tagModuleRow& row : listing.rows) {
        const QRegularExpressionMatch m = owner.match(row.argument);
        if (!m.hasMatch() || !ProcessGone(m.captured(1).toLongLong()))
            continue;
        (row.name == QLatin1String("module-null-sink") ? sinks : loopbacks).push_back(row.index);
    }
    int removed = 0;
    for (auto* group : {&loopbacks, &sinks})
        for (uint32_t index : *group) {
            UnloadModule(c, index);
            ++removed;
        }
    return removed;
}
