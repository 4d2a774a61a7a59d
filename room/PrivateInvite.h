#pragma once
// The room's side of private chat: inviting a member (520) and the answer to the invitation
// (552), an invitation for the user (522) with its automatic refusals and its question, the
// user's answer (550), the private room being ready (553) or not (555), and giving up (554)
// when a request or an answer waits too long. Once the room is ready the room window closes
// with OK and the hall enters the private room with the peer number kept here.

#include "room/RoomFeature.h"

#include <QString>

class CKParam;
class CRoomDlg;

class CPrivateInvite : public IRoomFeature {
public:
    // A greeting of at least this many hundredths counts as one.
    static constexpr int kGreetingHundredths = 30;

    explicit CPrivateInvite(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;

    // What the user allows: the lowest greeting (hundredths) an inviter must offer a
    // registered user, and the greeting range the service accepts. What the user saved is read
    // when a room first opens, unless this run set them already.
    void SetThreshold(int hundredths);
    int Threshold() const { return m_threshold; }
    void SetGreetingRange(int lowest, int highest);
    void SaveSettings() const;
    int GreetingLowest() const { return m_lowest; }
    int GreetingHighest() const { return m_highest; }

    // "私聊请求" on a member: the invitation dialog, then 520. 0 when it went out.
    int Invite(const QString& member);
    bool RequestPending() const;
    bool AnswerPending() const;
    bool GreetingGiven() const { return m_greetingGiven; }
    // Key 20 of the last 553.
    int PeerNumber() const { return m_peerNumber; }

private:
    static bool Registered();
    void OnInviteReply(CKParam& packet);
    void OnInvited(CKParam& packet);
    void OnAnswerReply(CKParam& packet);
    void OnAnswered(CKParam& packet);
    void OnReady(CKParam& packet);
    void OnFailed(CKParam& packet);
    void GiveUp(short what);
    int Answer(bool accepted, const QString& text);
    QString Line(int statusId) const;
    void ReadSettings();

    CRoomDlg& m_room;
    int m_threshold = 0;
    int m_lowest = 0;
    int m_highest = 100000;
    bool m_settingsKnown = false;
    bool m_greetingGiven = false;
    int m_peerNumber = 0;
};
