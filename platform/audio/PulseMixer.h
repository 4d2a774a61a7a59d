#pragma once
// The recording mixer on a PulseAudio server (or PipeWire's PulseAudio service). Its lines are
// the stereo mix, first, then the server's sources by their descriptions; the selected line is
// what our recorders record, chosen here and nowhere else: the server's default source and the
// user's devices stay as the user set them.
//
// The stereo mix is one of ours (see PulseStereoMix.h), built while it is selected and taken
// down when another line is, when the room closes and when the program ends. Without it the
// microphone source is recorded directly. The microphone's line, whose mute and volume the
// room sets, is ours as well: the microphone's input in the mix, or our recorder's stream on
// the microphone. The microphone itself is the server's default source (the first real
// source when the default is a monitor).

#include "platform/audio/AudioMixer.h"
#include "platform/audio/PulseStereoMix.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CPulseContext;

class CPulseMixer : public IAudioMixer {
public:
    using ContextPtr = std::shared_ptr<CPulseContext>;
    using ContextSource = std::function<ContextPtr()>;
    // The stereo mix's line: its name and id in the list control.
    static constexpr const char* kStereoMix = "Stereo Mix";

    explicit CPulseMixer(ContextSource source) : m_source(std::move(source)) {}
    ~CPulseMixer() override;

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
    void Release() override;

    // Called for every new connection to the server: removes what crashed runs left there.
    static void OnConnected(CPulseContext& context);

    // The recorders. A new one asks which source to record; while it records, the mixer
    // moves it when another line is selected and sets its volume when it records the
    // microphone.
    QString RecordingSource();
    void AttachRecorder(pa_stream* stream, const QString& source);
    void DetachRecorder(pa_stream* stream);

    // Sources that are inputs of their own: monitors of outputs are not.
    static int CountInputs(CPulseContext& context);
    static int CountSinks(CPulseContext& context);

private:
    struct tagRecorder {
        pa_stream* stream;
        QString source;
    };
    struct tagServerView;

    bool Look(CPulseContext& context, tagServerView& view);
    // Runs f(context, view) under the mixer's lock with a fresh look at the server; `none`
    // when no server answers.
    template <typename Result, typename F>
    Result Looked(Result none, F f);
    QString RecordingSourceLocked(const tagServerView& view) const;
    void ListLines(const tagServerView& view, tagListControl& control) const;
    void MoveRecorders(CPulseContext& context, const QString& source);
    void ApplyMicLine(CPulseContext& context);

    ContextSource m_source;
    std::mutex m_mutex;  // everything below; taken before the server's lock, never inside it
    std::weak_ptr<CPulseContext> m_mixContext;  // the connection the mix was built on
    CPulseStereoMix m_mix;
    QString m_selected;  // the selected line's id; empty: the microphone
    QString m_mic;
    int m_micChannels = 0;
    bool m_lineMute = false;
    unsigned m_lineVolume = 65535;
    std::vector<tagRecorder> m_recorders;
};
