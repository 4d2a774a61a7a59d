#pragma once
// The user's own video in the room: the sender component opened and closed with the
// camera-available flag, the frame rate of the room's sound-quality mode, and every frame the
// component delivers wrapped into a room video packet (470) on the second room connection,
// for the public slot the user holds or for the members who asked to watch privately.

#include "platform/Locked.h"
#include "video/VideoServerH264.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class CKParam;
class CRoomDlg;

class CVideoSending {
public:
    explicit CVideoSending(CRoomDlg& room);

    // Copy-data tag 80: sends the frame; true when a packet went out.
    bool OnFrame(const QByteArray& frame);
    // Copy-data tag 81: a whole packet of the component for the main connection.
    void OnComponentPacket(const QByteArray& bytes);

    // Opens and closes the sender; opening needs the camera-available flag.
    void Open(int fps);
    void Close();
    bool IsOpen() const { return m_sender.IsCreated(); }
    void SetFrameRate(int fps);
    // Saves the own picture as a BMP file; 0 or -1.
    int CapturePicture(const QString& path);
    void PopOut();
    void PopIn();
    bool IsPoppedOut() const { return m_poppedOut; }

    void SetCameraAvailable(bool available) { m_cameraAvailable = available; }
    bool CameraAvailable() const { return m_cameraAvailable; }
    // The room window's video switch: frames are sent only in position 1.
    void SetSwitch(bool on) { m_switchOn = on; }
    bool Switch() const { return m_switchOn; }

    // The members who asked to watch the user privately; changed only under their lock.
    CLocked<QStringList>& Viewers() { return m_viewers; }

    CVideoServerH264& Sender() { return m_sender; }
    // The public slot the user's frames go to: 1 or 2, 0 for none.
    int OwnSlot() const;
    int SentPackets() const { return m_sent; }
    void ResetCounters() { m_sent = 0; }

private:
    CRoomDlg& m_room;
    CVideoServerH264 m_sender;
    CLocked<QStringList> m_viewers;
    bool m_cameraAvailable = false;
    bool m_switchOn = true;
    bool m_poppedOut = false;
    int m_sent = 0;
};
