#pragma once
// The microphone order: the mode, the main and second holders and their countdowns, the
// queue, the requests that ask the server for a change (each with its local checks), the
// announcements that make the change, and starting and stopping the user's voice.

#include "audio/VoiceOwner.h"  // tagMicState: what the capture thread reads, under our lock
#include "platform/Locked.h"
#include "room/RoomFeature.h"

#include <QString>
#include <QStringList>

class CKParam;
class CRoomDlg;
class IVoiceSender;

enum EMicMode : int { MIC_GRAB = 0, MIC_QUEUE = 1, MIC_OPERATOR = 2 };

class CMicOrder : public IRoomFeature {
public:
    enum : unsigned { TIMER_MAIN = 1, TIMER_QUEUE = 2, TIMER_SECOND = 4 };
    static constexpr unsigned kTickMs = 1000;
    static constexpr unsigned kQueueRefreshMs = 150000;

    explicit CMicOrder(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;
    void OnRoomClosing(bool keepSharedCapture) override;
    bool OnTimer(unsigned id) override;
    void OnConnectionLost() override;

    // The remaining time as the panel shows it ("2分" for 60 to 119 seconds).
    static QString TimeText(int seconds);
    static QString ModeName(int mode, bool forced);

    // Requests. Each returns 0 when the request went out, -1 when a check refused it.
    int Grab();
    int Release();
    int HandMic(const QString& id);
    int HandSecondMic(const QString& id);
    int TakeBack(const QString& id);
    int Extend(const QString& id);
    int MoveUp(const QString& id);
    int RemoveFromQueue(const QString& id);
    int SetSecondMicAllowed(bool allow);
    int SetMode(int mode, bool forced);
    // Opens the microphone-time dialog and sends its value on OK.
    int ChangeMicTime();
    int SendMicTime(int seconds);
    // Request 220, the queue (only while the main connection is in the room).
    void FetchQueue();

    // Announcements.
    void OnMicTaken(CKParam& packet);
    void OnQueueJoined(CKParam& packet);
    void OnQueueReply(CKParam& packet);
    void OnMicTimeChanged(CKParam& packet);
    void OnModeChanged(CKParam& packet);
    void OnQueueChanged(CKParam& packet);
    void OnSecondMicControl(CKParam& packet);
    void OnHanded(CKParam& packet, int lineId);
    void OnReleased(bool second);
    // The microphone handle went to a member (none: nobody holds it); decides whether the
    // user's voice goes on.
    void SetFloorHolder(const QString& id);
    void OnMemberLeft(const QString& id);

    int Mode() const { return m_mode; }
    bool ForcedQueue() const { return m_forced; }
    int MicTime() const { return m_micTime; }
    QString MainHolder() const;
    QString SecondHolder() const;
    bool DualMic() const;
    const QStringList& Queue() const { return m_queue; }
    int MainCountdown() const { return m_mainCountdown; }
    int SecondCountdown() const { return m_secondCountdown; }
    void SetGrabForbidden(bool forbidden) { m_grabForbidden = forbidden; }
    bool GrabForbidden() const { return m_grabForbidden; }

    // For the audio transport's capture thread.
    const CLocked<tagMicState>& State() const { return m_state; }

private:
    int Hand(short code, const QString& id);
    void SetHolder(bool second, const QString& id);
    void StartCountdown(bool second);
    // Shows a microphone as free: "空闲", no time left and an empty time bar.
    void ShowFree(bool second);
    // The time bar of a microphone from its holder and countdown.
    void ShowTimeBar(bool second);
    void Speak(bool second, const QString& previous, const QString& now);
    // Starts the user's voice; a capture that cannot start is told in the chat, whoever asked.
    void BeginSpeaking(IVoiceSender& voice);
    void RedrawQueue();
    void ShowMode();
    bool Checked(short code);

    CRoomDlg& m_room;
    CLocked<tagMicState> m_state;
    int m_mode = MIC_GRAB;
    bool m_forced = false;
    short m_micTime = 0;
    QStringList m_queue;
    bool m_ownNext = false;  // the user was next in the queue at the last look
    bool m_grabForbidden = false;
    short m_mainCountdown = 0;
    short m_secondCountdown = 0;
    // The time each countdown started from.
    short m_mainTotal = 0;
    short m_secondTotal = 0;
};
