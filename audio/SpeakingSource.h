#pragma once
// The recorded input around a speaking period, by the user's settings (IsOpenMix, IsMicMute,
// MixName): what the room does with the mixer when the user starts and stops speaking. The
// room supplies what only it has: its chat line, its volume slider, and whether its edition
// offers the sound settings dialog.

#include <QString>

class ISpeakingRoom {
public:
    virtual ~ISpeakingRoom() = default;
    // Adds a system line (string-table text) to the room's chat.
    virtual void AddSystemLine(const QString& text) = 0;
    // The microphone volume the room keeps for its slider, and showing a value on it.
    virtual int StoredMicVolume() const = 0;
    virtual void ShowMicVolume(int volume) = 0;
    // Runs the sound settings dialog where the edition has one; false where it does not.
    virtual bool OpenSoundSettings() = 0;
};

// Starting to speak with a running capture: the microphone (IsOpenMix 0) at the stored volume,
// or 0 with IsMicMute; otherwise the stereo mix, with one more try after "打开内放失败,请手动打开."
// and the settings dialog, MixName stored, and the microphone line muted by IsMicMute.
void SelectSpeakingSource(ISpeakingRoom& room);
// Dual mics always record the microphone, unmuted.
void SelectDualMicSource();
// Stopping: the microphone again, its line muted.
void SelectSilentSource();
