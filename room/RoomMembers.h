#pragma once
// Members and ranks: the member list fetched at entry, arrivals and departures with their
// lines and entry pictures, rank changes, the side list, and the names announcements use.

#include "room/MemberList.h"
#include "room/RoomFeature.h"

#include <QString>

#include <utility>
#include <vector>

class CKParam;
class CRoomDlg;

class CRoomMembers : public IRoomFeature {
public:
    // Members listed up to this count get arrival and departure lines.
    static constexpr int kLineLimit = 21;

    explicit CRoomMembers(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;

    // Reply 181 (from the waiting dialog's copy).
    void LoadMemberList(const CKParam& reply);
    void OnArrival(CKParam& packet);
    void OnDeparture(CKParam& packet);
    void OnRankChanged(CKParam& packet);
    void OnSideList(CKParam& packet);

    const CMemberList& List() const { return m_list; }
    CMemberList& List() { return m_list; }
    const UserInfo* Find(const QString& id) const { return m_list.Find(id); }
    // Whether the member is in the room; otherwise says "此人已离开房间" in the chat.
    bool RequirePresent(const QString& id);

    // The actor of an announcement: "后台管理员" for an empty identifier, else the nickname
    // of the member found, else empty.
    QString DisplayName(const QString& id) const;
    // A name as announcement lines write it, "%s(%s)" from nickname and identifier, made safe
    // for the page; the same rules as DisplayName for empty and unknown identifiers.
    QString LineName(const QString& id) const;
    // The same name as plain text (a message box).
    QString PlainName(const QString& id) const;
    // The member an announcement is about: LineName, or the identifier alone when the list
    // does not know it.
    QString SubjectName(const QString& id) const;
    QString CountText() const;
    // Redraws the member list.
    void Redraw();

private:
    void ArrivalPicture(const UserInfo& member);

    CRoomDlg& m_room;
    CMemberList m_list;
    // From the room's opening until the member list is loaded: who came and went. The list's
    // reply may be read after arrivals the service sent behind it; replaying them over the
    // list keeps those members, and replaying what the list already holds changes nothing.
    bool m_listLoaded = false;
    std::vector<std::pair<UserInfo, bool>> m_beforeList;  // member, arrived (else departed)
};
