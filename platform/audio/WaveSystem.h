#pragma once
// The registrar of wave-device backends. Each backend (PulseAudio, WAV files) is a sibling
// behind one interface; one is current for the process, chosen by Select() or by the
// TAVO_AUDIO environment variable:
//   TAVO_AUDIO=pulse
//   TAVO_AUDIO=wav:in=speech.wav,out=heard.wav,pace=fast
// and PulseAudio otherwise.

#include "platform/audio/AudioMixer.h"
#include "platform/audio/WaveDevice.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class IWaveBackend {
public:
    virtual ~IWaveBackend() = default;
    virtual QString Name() const = 0;
    virtual int InputDeviceCount() = 0;
    virtual int OutputDeviceCount() = 0;
    // The default device for a format a device can play (WaveInOpen and WaveOutOpen refuse
    // the others); nullptr with error set (MMSYSERR_*) on failure.
    virtual std::unique_ptr<CWaveInDevice> OpenInput(const tagWaveFormat& format,
                                                     WaveCallback callback, int& error) = 0;
    virtual std::unique_ptr<CWaveOutDevice> OpenOutput(const tagWaveFormat& format,
                                                       WaveCallback callback, int& error) = 0;
    virtual IAudioMixer& Mixer() = 0;
};

class CWaveSystem {
public:
    using Factory = std::function<std::unique_ptr<IWaveBackend>(const QString& options)>;

    static void Register(const QString& name, Factory factory);
    static QStringList BackendNames();
    // "name" or "name:options". False (and the current backend kept) for an unknown name.
    static bool Select(const QString& spec);
    static IWaveBackend& Current();
    // Whether devices of the platform report their opening twice, as the NT family does.
    static bool NtFamily();
    static void SetNtFamily(bool nt);
};

// The entry points the capture and playback code calls, on the current backend.
int WaveInGetNumDevs();
int WaveOutGetNumDevs();
std::unique_ptr<CWaveInDevice> WaveInOpen(const tagWaveFormat& format, WaveCallback callback,
                                          int* error);
std::unique_ptr<CWaveOutDevice> WaveOutOpen(const tagWaveFormat& format, WaveCallback callback,
                                            int* error);
IAudioMixer& CurrentMixer();
