#pragma once
// Room administration: the requests owners, operators and every member make of the room (the
// nickname, the topic, the lock, public text and video, kicking, banning, the typing and
// grabbing bans, operator ranks, the favourites and the report), each with its local checks
// and dialog, and the announcements that change what the room shows, two of which end the
// user's own stay.

#include "room/RoomFeature.h"

#include <QSet>
#include <QString>

class CKParam;
class CRoomDlg;

class CRoomAdministration : public IRoomFeature {
public:
    // The hours of a quiet ban: nobody is told, the banned member sees a system fault.
    static constexpr int kQuietBanHours = 99;
    enum EOperator : int { OP_REMOVE = 0, OP_MAKE = 1, OP_MAKE_SENIOR = 10, OP_REMOVE_SENIOR = 20 };

    explicit CRoomAdministration(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;

    // Requests. Each returns 0 when the request went out, -1 when a check, its dialog or the
    // send stopped it (a line or a message box says why).
    int ChangeNickname();
    int ForceNickname(const QString& id);
    int ChangeTopic();
    int ChangeLock();
    int SetPublicText(bool allow);
    int SetVideo(bool allow);
    int Kick(const QString& id);
    int Ban(const QString& id);
    int QuickBan(const QString& id);
    int SetTyping(const QString& id, bool allow);
    int SetGrab(const QString& id, bool allow);
    int SetOperator(const QString& id, int change);
    int AddFavourite();
    int Report();

    bool Locked() const;
    bool VideoAllowed() const { return m_videoAllowed; }
    // What the room's managers forbade the member, as the announcements told it.
    bool TypingForbidden(const QString& id) const { return m_noTyping.contains(id); }
    bool GrabForbidden(const QString& id) const { return m_noGrab.contains(id); }

    // Announcements.
    void OnNicknameChanged(CKParam& packet);
    void OnNicknameForced(CKParam& packet);
    void OnTopicChanged(CKParam& packet);
    void OnPublicText(CKParam& packet);
    void OnLockChanged(CKParam& packet);
    void OnVideoControl(CKParam& packet);
    void OnKicked(CKParam& packet);
    void OnTypeControl(CKParam& packet);
    void OnGrabControl(CKParam& packet);
    void OnBanned(CKParam& packet);
    void OnRoomNameChanged(CKParam& packet);
    void OnVideoPermission(CKParam& packet);
    void OnRoomDisabled(CKParam& packet);

private:
    // Pending and interval checks of the discipline.
    bool MayAsk(short code);
    int Ban(const QString& id, int hours, int key40, const QString& reason);
    // Renames a member as an announcement says; the old line name is returned for the line.
    QString Rename(const QString& id, const QString& nickname);
    void SetMemberFlag(QSet<QString>& set, const QString& id, bool on);
    // The user's own stay ends with this text when the server closes the connection.
    void SetCloseReason(const QString& text);

    CRoomDlg& m_room;
    bool m_videoAllowed = true;
    QSet<QString> m_noTyping;
    QSet<QString> m_noGrab;
};
