#pragma once
// Recording and play-out in the room: the recorder window's owner. The user's own small
// frames go to the recorder while it records them; a play-out with "send" ticked goes into
// the room as the user's video instead of the camera's, after the service granted the charge
// (490) and the user agreed to the price.

#include "room/RecordDlg.h"
#include "room/RoomFeature.h"
#include "room/RoomVideo.h"

#include <QString>

class CKParam;
class CRoomDlg;

class CRoomRecording : public IRoomFeature, public IRecordOwner, public IOwnFrameTap {
public:
    explicit CRoomRecording(CRoomDlg& room);
    ~CRoomRecording() override;
    CRoomRecording(const CRoomRecording&) = delete;
    CRoomRecording& operator=(const CRoomRecording&) = delete;

    // Adds the feature to the room, after the room's video.
    static CRoomRecording& Install(CRoomDlg& room);

    // IRoomFeature
    void Register(CDispatchTable& table) override;
    void OnRoomClosing(bool keepSharedCapture) override;

    // What the user does. A recording's file follows the room menu's rule for its name and
    // replaces a file of that name. 0, or -1 when it could not start.
    int RecordOwnVideo(const QString& chosen);
    void StopRecording();
    // Loads the file and plays it; with send, the service is asked for the charge first and
    // the user for agreement to the price.
    int PlayVideo(const QString& path, bool send);

    CRecordDlg& Recorder() { return m_recorder; }
    // Where the recorder draws; the old surface is let go while it still exists.
    void SetSurface(IVideoSurface* surface);

    // IRecordOwner
    void SendPlayedFrame(const QByteArray& framePacket) override;
    void RequestCharge() override;
    IVideoSurface* RecorderSurface() override { return m_surface; }

    // IOwnFrameTap
    bool TakesOverSending() const override { return m_recorder.IsPlayingOut(); }
    void OnOwnFrame(const QByteArray& frame) override;

private:
    void OnChargeReply(CKParam& reply);
    int SendCharge(int kind);

    CRoomDlg& m_room;
    CRecordDlg m_recorder;
    IVideoSurface* m_surface = nullptr;
    // The file that plays with "send" once its charge is granted.
    QString m_pendingPlay;
};
