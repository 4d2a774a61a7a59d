#pragma once
// Recording and play-out in the private chat: the private room window's recorder. It records
// the user's own camera or the peer's picture (paid period by period, as in the room), with
// the sound of the sound capture, and a play-out with "send" ticked goes to the peer instead
// of the camera's frames.

#include "room/PrivateRoomDlg.h"
#include "room/Recording.h"

class CPrivateVideo;

class CPrivateRecording : public CRecording, public IPrivateRecording {
public:
    CPrivateRecording(CPrivateRoomDlg& room, CPrivateVideo& video);
    ~CPrivateRecording() override;

    // Records the peer's picture (PRIVATE_VIDEO_PEER).
    int RecordPeerVideo(const QString& chosen);

    // CRecording: the peer's area, while the peer is there.
    bool Shows(int window) const override;

    // IRecordOwner
    void SendPlayedFrame(const QByteArray& framePacket) override;

    // IPrivateRecording
    void OnCharge(CKParam& reply) override { OnChargeReply(reply); }
    void OnRoomClosing() override { Close(); }

protected:
    CRequestDiscipline& Requests() override;

private:
    CPrivateRoomDlg& m_room;
    CPrivateVideo& m_video;
};
