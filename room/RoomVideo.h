#pragma once
// Video in the room: the user's own camera and what it sends (video sending), the pictures of
// video 1, video 2 and the privately watched member (video receiving), and the room's video
// commands: opening the own video (240), watching a member privately (610, 612, 613, 615),
// the video sending state (620, 622), the server's parameter requests (-263) and the notice
// that the room switched video off (140).

#include "room/ChatSocket.h"
#include "room/FrameTaps.h"
#include "room/RoomFeature.h"
#include "room/VideoReceiving.h"
#include "room/VideoSending.h"

#include <QHash>
#include <QString>

class CKParam;
class CRoomDlg;

class CRoomVideo : public IRoomFeature, public IRoomPacketSink {
public:
    explicit CRoomVideo(CRoomDlg& room);
    ~CRoomVideo() override;
    CRoomVideo(const CRoomVideo&) = delete;
    CRoomVideo& operator=(const CRoomVideo&) = delete;

    // Adds the feature to the room, takes the camera-available flag of the start-up probe
    // and the parameter requests of the main connection.
    static CRoomVideo& Install(CRoomDlg& room);

    // IRoomFeature
    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;
    void OnRoomClosing(bool keepSharedCapture) override;
    bool OnCopyData(unsigned tag, const QByteArray& data) override;
    void OnViewsChanging() override;

    // IRoomPacketSink: command -263 after the main connection's normal dispatch.
    bool IsWindowOpen() const override;
    void DispatchPacket(CKParam& packet) override;

    // What the user does.
    // Asks the server to open the own video (240); without a camera says so and asks nothing.
    int OpenOwnVideo();
    void CloseOwnVideo();
    // Asks to watch a member privately (610).
    int Watch(const QString& id);
    // The save dialog, then the BMP of the own picture (VIDEO_OWN) or of video 1 or 2.
    int CapturePicture(int window);
    // The own video's camera settings.
    void ShowCameraSettings();
    // The pop-out of video 1, video 2 or the own preview, and its closing.
    void PopOut(int window);
    void PopIn(int window);

    // The frame rate of a sound-quality mode (1 hi-fi, 2 singing, 3 speech), from the room
    // settings.
    int FrameRate(int quality) const;
    int Quality() const { return m_quality; }
    // A member's video sending state (622); 0 when none was announced.
    int VideoState(const QString& id) const { return m_states.value(id, 0); }

    CVideoSending& Sending() { return m_sending; }
    void SetFrameTap(IOwnFrameTap* tap) { m_tap = tap; }
    CVideoReceiving& Receiving() { return m_receiving; }

    // Editions that want it announce the video sending state at entry (the profile value
    // SendVideoState, on unless set to 0).
    static bool AnnouncesVideoState();

private:
    void OnVideoRequestReply(CKParam& packet);
    void OnWatchReply(CKParam& packet);
    void OnWatchAsked(CKParam& packet);
    void OnWatchEnded(CKParam& packet);
    void OnVideoState(CKParam& packet);
    void OnVideoOff(CKParam& packet);
    void OnQualityChanged(CKParam& packet);
    void OnDeparture(CKParam& packet);
    void AnnounceVideoState();

    CRoomDlg& m_room;
    CVideoSending m_sending;
    CVideoReceiving m_receiving;
    QHash<QString, int> m_states;
    QString m_watchAsked;
    int m_quality = 1;
    int m_frameRates[3] = {0, 0, 0};
    IOwnFrameTap* m_tap = nullptr;
};
