#pragma once
// The mixer of the recording side as the recording-source logic sees it: the recording
// destination with one list control whose items are the source lines (a name and a component
// type each, one value each), and the microphone line with its mute and volume.

#include <QString>

#include <vector>

// Component types of source lines, the numbers the selection logic tests.
enum : unsigned {
    MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003,  // 4099
    MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008,
    MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A,
};

struct tagMixerItem {
    QString name;  // what the user sees: a PulseAudio source's description
    QString id;    // the backend's name for it (a PulseAudio source name)
    unsigned componentType = 0;
    bool value = false;    // selected as recording source
    bool monitor = false;  // records what the machine plays (a stereo mix by nature)
};

struct tagListControl {
    bool singleSelect = true;
    std::vector<tagMixerItem> items;
};

class IAudioMixer {
public:
    virtual ~IAudioMixer() = default;

    // Whether there is a mixer at all (a reachable sound server).
    virtual bool IsAvailable() = 0;
    // Reads the recording destination's list control; false when there is none.
    virtual bool GetListControl(tagListControl& control) = 0;
    // Writes the values back (items matched by id); false when the mixer refuses.
    virtual bool SetListControl(const tagListControl& control) = 0;

    // The microphone line.
    virtual bool SetMicMute(bool mute) = 0;
    virtual bool GetMicMute(bool& mute) = 0;
    // One value per channel, in the range MicVolumeRange gives.
    virtual bool GetMicVolume(std::vector<unsigned>& channels) = 0;
    virtual bool SetMicVolume(unsigned value) = 0;
    virtual bool MicVolumeRange(unsigned& minimum, unsigned& maximum) = 0;

    // The playback side's speakers (the default output), 0..65535 per channel.
    virtual bool GetSpeakerVolume(std::vector<unsigned>& channels) = 0;
    virtual bool SetSpeakerVolume(unsigned value) = 0;

    // Gives back whatever the mixer set up on the machine for a line (a stereo mix of its
    // own) and selects the microphone again: the room closes, or the program ends.
    virtual void Release() {}
};
