#pragma once
// The recorder window's owner, shared by the room and the private chat: the user's own frames
// go to the recorder while it records them, and the frames of the picture it records in mode 3;
// a play-out with "send" ticked goes out instead of the camera's frames. A play-out that is
// sent and a recording of another member's picture are paid for (490): they start once the
// service granted the first period, the play-out after the user agreed to the price.

#include "room/FrameTaps.h"
#include "room/RecordDlg.h"

#include <QString>

class CKParam;
class CRequestDiscipline;

class CRecording : public IRecordOwner, public IOwnFrameTap, public IReceivedFrameTap {
public:
    CRecording();
    ~CRecording() override;
    CRecording(const CRecording&) = delete;
    CRecording& operator=(const CRecording&) = delete;

    // What the user does. A recording's file follows the room menu's rule for its name and
    // replaces a file of that name. 0, or -1 when it could not start.
    int RecordOwnVideo(const QString& chosen);
    // Records the picture a window shows, with the sound of the sound capture; 0 when the
    // charge was asked for, -1 when that picture shows nobody.
    int RecordOtherVideo(int window, const QString& chosen);
    void StopRecording();
    // Loads the file and plays it; with send, the service is asked for the charge first and
    // the user for agreement to the price.
    int PlayVideo(const QString& path, bool send);
    // Whether that window shows a member whose picture can be recorded.
    virtual bool Shows(int window) const = 0;

    CRecordDlg& Recorder() { return m_recorder; }
    // Where the recorder draws; the old surface is let go while it still exists.
    void SetSurface(IVideoSurface* surface);

    // IRecordOwner
    void RequestCharge() override;
    IVideoSurface* RecorderSurface() override { return m_surface; }

    // IOwnFrameTap
    bool TakesOverSending() const override { return m_recorder.IsPlayingOut(); }
    void OnOwnFrame(const QByteArray& frame) override;

    // IReceivedFrameTap
    bool TakesWindow(int window) const override;
    void OnReceivedFrame(bool key, const QByteArray& framePacket) override;

protected:
    // The requests of the room or the private room, which charges go out with.
    virtual CRequestDiscipline& Requests() = 0;
    // The service's answer to a charge request (491).
    void OnChargeReply(CKParam& reply);
    // The owner closes: whatever records or plays stops and nothing waits for a charge.
    void Close();

private:
    // Sends the charge request of that kind (RECORD_CHARGE_*); 0 when it went out.
    int SendCharge(int kind);

    CRecordDlg m_recorder;
    IVideoSurface* m_surface = nullptr;
    // The file that plays with "send" once its charge is granted.
    QString m_pendingPlay;
    // The recording of another member's picture that starts once its charge is granted, and
    // the window whose frames it records.
    QString m_pendingRecord;
    int m_pendingWindow = -1;
    int m_otherWindow = -1;
};
