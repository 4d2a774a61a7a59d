#include "platform/audio/WaveSystem.h"

#include "platform/audio/PulseBackend.h"
#include "platform/audio/WavFileBackend.h"

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct tagRegistry {
    std::mutex mutex;
    std::map<QString, CWaveSystem::Factory> factories;
    std::unique_ptr<IWaveBackend> current;
    // Backends replaced by Select() stay alive: devices and callers may still hold them.
    std::vector<std::unique_ptr<IWaveBackend>> retired;
    std::atomic<bool> nt{true};
};

tagRegistry& Registry() {
    static tagRegistry registry;
    return registry;
}

// The built-in siblings; each registers itself with its name.
void RegisterBuiltins() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterPulseBackend();
        RegisterWavFileBackend();
    });
}

std::unique_ptr<IWaveBackend> Make(tagRegistry& r, const QString& spec) {
    const int colon = spec.indexOf(':');
    const QString name = (colon < 0 ? spec : spec.left(colon)).trimmed();
    const QString options = colon < 0 ? QString() : spec.mid(colon + 1);
    auto it = r.factories.find(name);
    if (it == r.factories.end())
        return nullptr;
    return it->second(options);
}

}  // namespace

void CWaveSystem::Register(const QString& name, Factory factory) {
    tagRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.factories[name] = std::move(factory);
}

QStringList CWaveSystem::BackendNames() {
    RegisterBuiltins();
    tagRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    QStringList names;
    for (const auto& [name, factory] : r.factories) names << name;
    return names;
}

bool CWaveSystem::Select(const QString& spec) {
    RegisterBuiltins();
    tagRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    std::unique_ptr<IWaveBackend> backend = Make(r, spec);
    if (!backend)
        return false;
    if (r.current)
        r.retired.push_back(std::move(r.current));
    r.current = std::move(backend);
    return true;
}

IWaveBackend& CWaveSystem::Current() {
    RegisterBuiltins();
    tagRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    if (!r.current) {
        const QString spec = qEnvironmentVariable("TAVO_AUDIO");
        if (!spec.isEmpty())
            r.current = Make(r, spec);
        if (!r.current)
            r.current = Make(r, QStringLiteral("pulse"));
    }
    return *r.current;
}

bool CWaveSystem::NtFamily() {
    return Registry().nt.load();
}
void CWaveSystem::SetNtFamily(bool nt) {
    Registry().nt.store(nt);
}

int WaveInGetNumDevs() {
    return CWaveSystem::Current().InputDeviceCount();
}
int WaveOutGetNumDevs() {
    return CWaveSystem::Current().OutputDeviceCount();
}

namespace {

// What no backend needs to check for itself: somewhere to say why, and a playable format.
template <typename Open>
auto OpenPlayable(const tagWaveFormat& format, int* error, Open open) {
    int ignored = 0;
    int& e = error != nullptr ? *error : ignored;
    if (!format.IsPlayable()) {
        e = WAVERR_BADFORMAT;
        return decltype(open(e))();
    }
    return open(e);
}

}  // namespace

std::unique_ptr<CWaveInDevice> WaveInOpen(const tagWaveFormat& format, WaveCallback callback,
                                          int* error) {
    return OpenPlayable(format, error, [&](int& e) {
        return CWaveSystem::Current().OpenInput(format, std::move(callback), e);
    });
}

std::unique_ptr<CWaveOutDevice> WaveOutOpen(const tagWaveFormat& format, WaveCallback callback,
                                            int* error) {
    return OpenPlayable(format, error, [&](int& e) {
        return CWaveSystem::Current().OpenOutput(format, std::move(callback), e);
    });
}

IAudioMixer& CurrentMixer() {
    return CWaveSystem::Current().Mixer();
}
