#pragma once
// The recording mixer on a PulseAudio server. The list control's items are the server's
// sources (named by their descriptions); the selected item is the default source, which
// every recorder opened on the default follows. The microphone line is the user's input
// source: the default source when the mixer first looked, unless that was a monitor.

#include "platform/audio/AudioMixer.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

class CPulseContext;

class CPulseMixer : public IAudioMixer {
public:
    using ContextSource = std::function<std::shared_ptr<CPulseContext>()>;
    explicit CPulseMixer(ContextSource source) : m_source(std::move(source)) {}

    bool IsAvailable() override;
    bool GetListControl(tagListControl& control) override;
    bool SetListControl(const tagListControl& control) override;
    bool SetMicMute(bool mute) override;
    bool GetMicMute(bool& mute) override;
    bool GetMicVolume(std::vector<unsigned>& channels) override;
    bool SetMicVolume(unsigned value) override;
    bool MicVolumeRange(unsigned& minimum, unsigned& maximum) override;
    bool GetSpeakerVolume(std::vector<unsigned>& channels) override;
    bool SetSpeakerVolume(unsigned value) override;

    // The source taken as the microphone; empty when the server has no input source.
    QString MicSource();

    static int CountSources(CPulseContext& context);
    static int CountSinks(CPulseContext& context);

private:
    bool Refresh(CPulseContext& context, tagListControl& control);

    ContextSource m_source;
    std::mutex m_mutex;
    QString m_micSource;
};
