#pragma once
// The microphone line as the room window's panel offers it: its volume as a position from 0
// to 100 and its mute. Changes go to the recording mixer at once; the volume is also what the
// room's voice restores when the user begins to speak, and the mute is the user's choice kept
// in the profile (IsMicMute), so both outlive the panel.

class CRoomDlg;

class CMicVolume {
public:
    static constexpr int kMaxPosition = 100;

    explicit CMicVolume(CRoomDlg& room) : m_room(room) {}

    // Whether the machine has a microphone line with a volume.
    bool IsAvailable() const;
    // The line's volume now, 0 to 100; -1 when there is no line.
    int Position() const;
    // Moves the line's volume; false when there is no line or the mixer refused.
    bool SetPosition(int position);
    // A volume in the mixer's own units, as the position the panel shows (-1 stays -1).
    int PositionOf(int mixerVolume) const;

    // Whether the line is muted now; the stored choice when the mixer cannot tell.
    bool IsMuted() const;
    // Mutes or opens the line and keeps the choice; false when the mixer refused.
    bool SetMuted(bool mute);

private:
    bool Range(int& minimum, int& maximum) const;

    CRoomDlg& m_room;
};
