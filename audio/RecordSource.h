#pragma once
// Which input is recorded: the microphone, or the stereo mix (内放) that records what the
// machine plays, chosen through the recording mixer; the microphone line's mute and volume;
// and the user's choices kept in the profile (section "Main": MixName, IsOpenMix, IsMicMute).

#include <QString>
#include <QStringList>

class IAudioMixer;
struct tagMixerItem;

enum : int { RECORD_SOURCE_MIC = 3, RECORD_SOURCE_MIX = 1 };

// The profile's names and defaults.
struct tagMixSettings {
    QString mixName;
    int isOpenMix = 1;
    int isMicMute = 0;

    static tagMixSettings Load();
    void Save() const;
};

// The process's mixer state: the MixName in memory and the candidates of the last scan.
class CRecordSource {
public:
    static CRecordSource& Get();

    // Mode 3 selects the microphone, any other the stereo mix; apply false only scans. True
    // when an item was set.
    bool SelectRecordSource(int mode, bool apply);
    // Whether a line's name names a stereo mix (case-sensitive).
    bool IsStereoMixName(const QString& name) const;
    bool SetMicLineMute(bool mute);
    // The microphone volume (first channel), -1 when there is none.
    int GetMicVolume();
    void SetMicVolume(int volume);
    bool MicVolumeRange(int& minimum, int& maximum);

    // MixName names a line by its id, which outlives what the line is called (a sound
    // server's descriptions change with the language and the device's profile); a name from
    // the line's label is still understood and replaced by the id once it was selected.
    QString MixName() const { return m_mixName; }
    void SetMixName(const QString& name) { m_mixName = name; }
    // The labels of the lines of the last scan.
    QStringList Candidates() const { return m_candidates; }
    // A line of the last scan by its id or label: its label, or its id; the text itself
    // when no line has it.
    QString LineLabel(const QString& line) const;
    QString LineId(const QString& line) const;
    // Gives back what the mixer set up for the stereo mix; the microphone is selected again.
    void Release();

    // The mixer used; the current wave backend's unless a test sets another.
    IAudioMixer& Mixer();
    void SetMixer(IAudioMixer* mixer) { m_pMixer = mixer; }

private:
    bool IsMixLine(const tagMixerItem& item) const;
    bool IsMixNamed(const tagMixerItem& item) const;

    QString m_mixName;
    QStringList m_candidates;
    QStringList m_candidateIds;
    IAudioMixer* m_pMixer = nullptr;
};

// Free-standing forms, the names the rest of the program calls.
bool SelectRecordSource(int mode, bool apply);
bool IsStereoMixName(const QString& name);
bool SetMicLineMute(bool mute);
int GetMicVolume();
void SetMicVolume(int volume);
// The mixers live as long as the program: opened as it starts (a sound server is then rid of
// what a crashed run left on it) and released as it ends.
void OpenMixers();
void CloseMixers();

// The volume of one line (selector 0: the playback mixer's speakers, 1: the recording mixer's
// line of that component type), the same value on every channel.
class CVolumeControl {
public:
    enum : int { SELECTOR_PLAYBACK = 0, SELECTOR_RECORDING = 1 };
    CVolumeControl(unsigned componentType, int selector, unsigned* minimum, unsigned* maximum);
    bool IsValid() const { return m_bValid; }
    int Channels() const { return m_nChannels; }
    unsigned GetValue() const;
    bool SetValue(unsigned value);

private:
    IAudioMixer& Mixer() const;
    unsigned m_nComponentType;
    int m_nSelector;
    int m_nChannels = 0;
    bool m_bValid = false;
};
