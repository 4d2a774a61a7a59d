#pragma once
// The private room: the two-person room a private chat runs in. It lives inside the hall
// beside the room window and uses the hall's two room connections, pointed at it while it is
// open. It owns its own request discipline and dispatcher, its capture object and three
// players, the peer's information and the private room's state: the audio quality, the
// bandwidth mode, the music, the text chat. The window draws what it tells the view; the
// direct link and the file transfer join through the seams of PrivateLinks.h.

#include "audio/MyWaveIn.h"
#include "audio/Players.h"
#include "audio/SpeakingSource.h"
#include "audio/VoiceOwner.h"
#include "platform/MessageWindow.h"
#include "protocol/DispatchTable.h"
#include "room/ChatPanes.h"
#include "room/ChatSocket.h"
#include "room/RequestDiscipline.h"

#include <QString>

#include <functional>
#include <memory>

class CGifts;
class IChatView;
class IPrivateFiles;
class IPrivateLink;
class IPrivateRoomView;
class IRoomHost;

// The private room's video, once installed (PrivateVideo.h).
class IPrivateVideo {
public:
    virtual ~IPrivateVideo() = default;
    // The peer arrived (its pictures may come) or left.
    virtual void OnPeerPresent(bool present) = 0;
    // Command 470, from the second connection or the direct link.
    virtual void OnVideo(CKParam& packet) = 0;
    // What the codec library reports to the window; true when the tag was its.
    virtual bool OnCopyData(unsigned tag, const QByteArray& data) = 0;
    // The own camera to the peer: 0 when it runs, -1 without a camera or a peer.
    virtual int OpenOwn() = 0;
    virtual void CloseOwn() = 0;
    // The private room closes.
    virtual void Close() = 0;
};

// The private room's recorder, once installed (PrivateRecording.h).
class IPrivateRecording {
public:
    virtual ~IPrivateRecording() = default;
    // The service's answer to a charge request (491).
    virtual void OnCharge(CKParam& reply) = 0;
    // The private room closes.
    virtual void OnRoomClosing() = 0;
};

// The peer as the private room knows it.
struct tagPrivatePeer {
    QString id;
    QString nickname;
    int number = 0;
    bool registered = false;
    bool video = false;
    QString localAddress;
    QString reportedAddress;
};

class CPrivateRoomDlg : public CMessageWindow,
                        public IRoomPacketSink,
                        public IVoiceOwner,
                        public ISpeakingRoom {
public:
    enum : int { IDD = 132 };
    // Timer 18 sends 850 every minute while the peer is there; each starts timer 19, which
    // sends 860 a little later.
    enum : unsigned { TIMER_TICK = 18, TIMER_TOCK = 19 };
    static constexpr unsigned kTickMs = 60000;
    static constexpr unsigned kTockMs = 5000;

    explicit CPrivateRoomDlg(IRoomHost& host);
    ~CPrivateRoomDlg() override;
    CPrivateRoomDlg(const CPrivateRoomDlg&) = delete;
    CPrivateRoomDlg& operator=(const CPrivateRoomDlg&) = delete;

    void SetViews(IPrivateRoomView* view, IChatView* chat);
    IPrivateRoomView& View();
    // The direct link and the file transfer, once they are built; none set means video goes
    // through the room and offered files are refused.
    void SetLink(IPrivateLink* link) { m_link = link; }
    void SetFiles(IPrivateFiles* files) { m_files = files; }
    // The private video; without one received video is dropped and none is sent.
    void SetVideo(IPrivateVideo* video) { m_video = video; }
    IPrivateVideo* Video() const { return m_video; }
    // The recorder; without one a charge's answer is only reported when refused.
    void SetRecording(IPrivateRecording* recording) { m_recording = recording; }
    IPrivateRecording* Recording() const { return m_recording; }
    // The room's gifts: the give dialog offers their catalogue, and an announced gift plays
    // their animation.
    void SetGifts(CGifts* gifts) { m_gifts = gifts; }

    // The stay. Open makes the window before the entry request so that the peer's arrival,
    // which may come right behind the entry's answer, finds it; Entered takes the answer and
    // shows it; Abandon takes it down when the entry failed. Close is the user's or the
    // connection's end: everything stops and the hall closes the connections.
    void Open(const QString& ownId, const QString& ownNickname, bool registered);
    void Entered(const CKParam& reply);
    void Abandon();
    void Close();
    bool IsWindowOpen() const override { return IsWindow(); }
    // Set while the private room is in use; the disconnect handling clears it.
    bool IsActive() const { return IsWindow() && m_active; }
    void SetActive(bool active) { m_active = active; }

    // The dispatcher of the private room's commands.
    void DispatchPacket(CKParam& packet) override;
    const CDispatchTable& Dispatch() const { return m_table; }

    // What the user does. Each returns 0 when its request went out, -1 when refused.
    int SendText(const QString& text);
    int PlayMusic();
    int StopMusic();
    int ChangeQuality(int quality);
    int SetBandwidth(int mode);
    int ChangeNickname(const QString& nickname);
    // 1 a screenshot, 2 or 3 video control.
    int RequestSnapshot(int kind);
    // The gift button: the give dialog for the peer, then GiveGift.
    int AskGift();
    int GiveGift(int number);
    // The file-offer button: the file transfer's, or nothing without one.
    void OfferFile();
    // Starts the capture with the private room's quality (the speak button, and 660).
    int BeginSpeaking();
    void EndSpeaking();

    // State.
    QString OwnId() const { return m_ownId; }
    QString OwnReportedAddress() const { return m_ownReported; }
    const tagPrivatePeer& Peer() const { return m_peer; }
    bool PeerPresent() const { return m_peerPresent; }
    QString Title() const { return m_title; }
    int Quality() const { return m_quality; }
    int Bandwidth() const { return m_bandwidth; }
    bool MusicPlaying() const { return m_musicPlaying; }
    bool PeerPlaying() const { return m_peerPlaying; }
    bool IsCapturing() const { return m_capture->IsCapturing(); }
    CChatPanes& Panes() { return m_panes; }
    CRequestDiscipline& Discipline() { return m_discipline; }
    CPrivatePlayers& Players() { return m_players; }
    int SendMain(CKParam& packet);
    // A video packet: over the direct link when it is up, otherwise the second connection.
    int SendVideo(CKParam& packet);

    struct tagCounters {
        int received = 0;
        int played = 0;
        int dropped = 0;
    };
    tagCounters AudioCounters() const { return m_counters; }

    // IVoiceOwner, from the capture thread.
    QString VoiceOwnId() const override;
    void PostVoiceMeter(int meter, int loud) override;
    void SendVoicePacket(CKParam& packet) override;
    // ISpeakingRoom
    void AddSystemLine(const QString& text) override;
    int StoredMicVolume() const override { return m_micVolume; }
    void ShowMicVolume(int volume) override;
    bool OpenSoundSettings() override;

protected:
    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
    void OnCopyData(unsigned tag, const QByteArray& data) override;

private:
    void Register();
    // The checks every request of the private room makes before it leaves.
    bool MayRequest(short code);
    void SetTitle(const QString& title);
    // "nickname(ID)" of either of the two, as the gift lines name them.
    QString LineName(const QString& id) const;

    void OnPeerArrived(CKParam& packet);
    void FetchPeer();
    void OnPeerLeft(CKParam& packet);
    void OnNickname(CKParam& packet);
    void OnGiftGiven(CKParam& packet);
    void OnMusicReply(CKParam& packet);
    void OnPeerMusic(CKParam& packet);
    void OnPeerMusicStopped(CKParam& packet);
    void OnText(CKParam& packet);
    void OnAudio(CKParam& packet);
    void OnQualityChanged(CKParam& packet);
    void OnBandwidthChanged(CKParam& packet);
    void OnRecordResult(CKParam& packet);
    void OnFileOfferReply(CKParam& packet);
    void OnFileOffered(CKParam& packet);
    void OnSpeak(CKParam& packet);
    void StopMedia();

    IRoomHost& m_host;
    IPrivateRoomView* m_view = nullptr;
    IPrivateLink* m_link = nullptr;
    IPrivateFiles* m_files = nullptr;
    IPrivateVideo* m_video = nullptr;
    IPrivateRecording* m_recording = nullptr;
    CGifts* m_gifts = nullptr;
    CChatPanes m_panes;
    CDispatchTable m_table;
    CRequestDiscipline m_discipline;
    std::unique_ptr<CMyWaveIn> m_capture;
    CPrivatePlayers m_players;

    QString m_ownId;
    QString m_ownNickname;
    bool m_registered = false;
    QString m_ownReported;
    tagPrivatePeer m_peer;
    bool m_peerPresent = false;
    bool m_active = false;
    bool m_closing = false;
    QString m_title;
    int m_quality = 3;
    int m_bandwidth = 10;
    bool m_musicPlaying = false;
    bool m_peerPlaying = false;
    int m_micVolume = 0;
    tagCounters m_counters;
};
