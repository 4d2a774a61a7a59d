#pragma once
// The stereo mix (内放) we build on the sound server: what the machine plays with the
// microphone heard inside it, as a sound card's own output mix has it. A null sink of ours is
// fed by two loopbacks, one from the microphone and one from the default output's monitor,
// and recorded from its monitor. The microphone's loopback input in that sink is the
// microphone's line: muting it or turning it down leaves the user's device alone, and every
// other program keeps its microphone.
//
// The modules belong to the server and outlive us when we crash, so they carry our process id
// in the sink's name; whoever starts next removes the mixes of processes that are gone.
// Works on PulseAudio and on PipeWire's PulseAudio service, which serves the same modules.

#include <pulse/pulseaudio.h>

#include <QString>

class CPulseContext;

class CPulseStereoMix {
public:
    // The sink's name: this prefix and the owner's process id.
    static constexpr const char* kSinkPrefix = "tavo_stereo_mix_";
    static QString SinkName();
    // Whether a sink or source (a mix's monitor) belongs to a mix of ours or a crashed run's.
    static bool IsMixDevice(const QString& name);

    // With the lock not held: a mix of this microphone (empty: none) and this output monitor
    // (empty: none). A mix that already has them is kept; a changed one is rebuilt in part.
    // False when the server refused the sink.
    bool Build(CPulseContext& context, const QString& mic, const QString& outputMonitor);
    // Unloads everything of ours.
    void TearDown(CPulseContext& context);
    bool IsBuilt() const { return m_sinkModule != PA_INVALID_INDEX; }
    // What recording the mix records.
    QString MonitorSource() const { return SinkName() + QStringLiteral(".monitor"); }
    QString Microphone() const { return m_mic; }
    // The microphone's line: the sink input of its loopback; PA_INVALID_INDEX without one.
    uint32_t MicInput(CPulseContext& context);

    // Removes the modules of mixes whose owner process is gone; how many it unloaded.
    static int RemoveLeftovers(CPulseContext& context);

private:
    uint32_t LoadLoopback(CPulseContext& context, const QString& source, const char* line);

    uint32_t m_sinkModule = PA_INVALID_INDEX;
    uint32_t m_micModule = PA_INVALID_INDEX;
    uint32_t m_outputModule = PA_INVALID_INDEX;
    uint32_t m_micInput = PA_INVALID_INDEX;
    QString m_mic;
    QString m_outputMonitor;
};
