#pragma once
// Recording and play-out in the room: the recorder window's owner there. The user's own small
// frames go to the recorder while it records them, the frames of video 1, video 2 or the
// privately watched member while it records that picture; a play-out with "send" ticked goes
// into the room as the user's video instead of the camera's.

#include "room/Recording.h"
#include "room/RoomFeature.h"

class CRoomDlg;

class CRoomRecording : public IRoomFeature, public CRecording {
public:
    explicit CRoomRecording(CRoomDlg& room);
    ~CRoomRecording() override;

    // Adds the feature to the room, after the room's video.
    static CRoomRecording& Install(CRoomDlg& room);

    // IRoomFeature
    void Register(CDispatchTable& table) override;
    void OnRoomClosing(bool keepSharedCapture) override;

    // CRecording: video 1, video 2 (VIDEO_1, VIDEO_2) or the private viewer (VIDEO_PRIVATE).
    bool Shows(int window) const override;

    // IRecordOwner
    void SendPlayedFrame(const QByteArray& framePacket) override;

protected:
    CRequestDiscipline& Requests() override;

private:
    CRoomDlg& m_room;
};
