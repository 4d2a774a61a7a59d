#pragma once
// What a capture object needs from the window that owns it (the room or the private chat).
// Every call comes from the capture thread: the owner reads its mic state under its own lock,
// posts the meter as a window message, and sends on its connection under that connection's
// lock.

#include <QString>

#include <cstdint>

class CKParam;

// The room's mic state as the capture thread sees it at one moment.
struct tagMicState {
    QString ownId;
    QString mainHolder;
    QString secondHolder;
    QString floorHolder;  // the member holding the mic handle; empty when none
    bool dualMic = false;
    bool capturePaused = false;
};

// The mic the user speaks on now: 1 main, 2 second, 0 none (nothing may be sent).
int SendingMicIndex(const tagMicState& state);

// A room that is capturing in dual-mic mode sends its hi-fi blocks as singing quality so that
// the two mics never meet on the one hi-fi player.
inline int SendingQuality(int quality, bool dualMic) {
    return (dualMic && quality == 1) ? 2 : quality;
}

class IVoiceOwner {
public:
    virtual ~IVoiceOwner() = default;
    // The user's own ID in the room or the private chat (key 60 of every packet).
    virtual QString VoiceOwnId() const = 0;
    // The room's mic state; the private chat's is never asked.
    virtual tagMicState VoiceMicState() const { return tagMicState(); }
    // Posts the meter message (WM_ROOM_VOICE_METER, WM_PRIVATE_VOICE_METER) to the owner's
    // window.
    virtual void PostVoiceMeter(int meter, int loud) = 0;
    // Sends an audio packet when the owner's connection is connected; the room traces a
    // failed send, the private chat does not look at the result.
    virtual void SendVoicePacket(CKParam& packet) = 0;
};

// Set when the application posts its quit message: from then on no voice is sent.
void SetAudioQuitting(bool quitting);
bool IsAudioQuitting();
