#include "room/RoomMembers.h"

#include "core/AppState.h"
#include "platform/Clock.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/MembersKeys.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"

namespace {
QString TwoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}
}  // namespace

CRoomMembers::CRoomMembers(CRoomDlg& room) : m_room(room) {}

void CRoomMembers::Register(CDispatchTable& table) {
    table.Sends(CMD_MEMBER_LIST);
    // Read from the waiting dialog's copy when the fetch ends.
    table.Elsewhere(CMD_MEMBER_LIST_REPLY);
    table.On(CMD_ARRIVAL, [this](CKParam& p) { OnArrival(p); });
    table.On(CMD_DEPARTURE, [this](CKParam& p) { OnDeparture(p); });
    table.On(CMD_RANK_CHANGED, [this](CKParam& p) { OnRankChanged(p); });
    table.On(CMD_SIDE_LIST, [this](CKParam& p) { OnSideList(p); });
}

void CRoomMembers::OnRoomOpened() {
    m_list.Clear();
    m_listLoaded = false;
    m_beforeList.clear();
}

bool CRoomMembers::RequirePresent(const QString& id) {
    if (!id.isEmpty() && m_list.Find(id)) {
        return true;
    }
    m_room.Panes().SystemLine(LoadString(IDS_MEMBER_GONE));
    return false;
}

QString CRoomMembers::DisplayName(const QString& id) const {
    if (id.isEmpty()) {
        return LoadString(IDS_BACKSTAGE_ADMIN);
    }
    const UserInfo* m = m_list.Find(id);
    return m ? HtmlEscape(m->nickname) : QString();
}

QString CRoomMembers::PlainName(const QString& id) const {
    if (id.isEmpty()) {
        return LoadString(IDS_BACKSTAGE_ADMIN);
    }
    const UserInfo* m = m_list.Find(id);
    return m ? QStringLiteral("%1(%2)").arg(m->nickname, m->id) : QString();
}

QString CRoomMembers::SubjectName(const QString& id) const {
    // The member an announcement is about is named by what the packet says when the list
    // does not know it; an actor who is gone stays unnamed.
    return !id.isEmpty() && !m_list.Find(id) ? HtmlEscape(id) : LineName(id);
}

QString CRoomMembers::LineName(const QString& id) const {
    return HtmlEscape(PlainName(id));
}

QString CRoomMembers::CountText() const {
    return QString::number(m_list.Count()) + LoadString(IDS_PEOPLE);
}

void CRoomMembers::Redraw() {
    m_room.View().RedrawMembers(m_list, CountText());
}

void CRoomMembers::LoadMemberList(const CKParam& reply) {
    m_list.Clear();
    const int n = reply.IntOr(MemberListReplyKey::COUNT, 0);
    const int edition = m_room.Edition();
    const QString& zero = m_room.Options().memberZeroText;
    // Keys are 16-bit: a count beyond what they can number stops at the last key.
    for (int i = 0; i < n && MemberListReplyKey::FIRST_MEMBER + i <= 32767; ++i) {
        QString text;
        if (reply.GetCString(static_cast<short>(MemberListReplyKey::FIRST_MEMBER + i), text) != 0) {
            continue;
        }
        UserInfo member;
        bool listed = false;
        if (!UserInfo::FromMemberText(text, edition, zero, member, listed) || member.id.isEmpty()) {
            continue;
        }
        m_list.Add(std::move(member), listed);
    }
    for (auto& [member, arrived] : m_beforeList) {
        if (!arrived) {
            m_list.Remove(member.id);
        } else if (!m_list.Find(member.id)) {
            m_list.Add(std::move(member));
        }
    }
    m_beforeList.clear();
    m_listLoaded = true;
    Redraw();
    m_room.Chat().RefreshTargets();
}

void CRoomMembers::OnArrival(CKParam& packet) {
    UserInfo member = UserInfo::FromArrival(packet, m_room.Edition(), CClock::Get().Now());
    if (member.id.isEmpty()) {
        return;
    }
    const UserInfo copy = member;
    if (!m_listLoaded) {
        m_beforeList.emplace_back(copy, true);
    }
    m_list.Add(std::move(member));
    Redraw();
    m_room.Chat().RefreshTargets();
    if (!copy.hidden) {
        if (!copy.entryText.isEmpty()) {
            QString text = m_room.Chat().SanitizeFragment(copy.entryText);
            text.replace(QStringLiteral("$某某人$"), HtmlEscape(copy.nickname));
            text.replace(QStringLiteral("$某某房间$"), HtmlEscape(m_room.Settings().name));
            m_room.Panes().SystemLine(text, SUFFIX_NONE, true);
        } else if (m_list.Count() < kLineLimit) {
            m_room.Panes().SystemLine(
                QStringLiteral("%1 %2").arg(HtmlEscape(copy.nickname), LoadString(IDS_OP_ENTER)),
                SUFFIX_NONE, true);
        }
    }
    const int edition = m_room.Edition();
    if (edition == EDITION_50 || edition == EDITION_70) {
        ArrivalPicture(copy);
    }
}

void CRoomMembers::ArrivalPicture(const UserInfo& m) {
    const tagRoomOptions& o = m_room.Options();
    QString picture;
    QString description;
    if (m.vipPicture != 0) {
        const int n = m.vipPicture;
        if (n > 0 && n <= o.enter.vipCount) {
            picture = o.programFolder + QStringLiteral("/img/enter/vip") + TwoDigits(n) +
                      QStringLiteral(".gif");
            description = o.enter.vipDescriptions.value(n - 1);
        } else {
            picture = QStringLiteral("%1/img/enter/%2").arg(o.programFolder, o.vipOverflowPicture);
        }
    } else if (m.enterPicture != 0) {
        const int n = m.enterPicture;
        picture =
            o.programFolder + QStringLiteral("/img/enter/") + TwoDigits(n) + QStringLiteral(".gif");
        description = o.enter.descriptions.value(n - 1);
    } else {
        return;
    }
    const QString line =
        QStringLiteral("%1(%2) 开着%3光临本房间!<img src=\"%4\" width=\"%5\" height=\"%6\">")
            .arg(HtmlEscape(m.nickname), HtmlEscape(m.id), HtmlEscape(description),
                 HtmlEscape(picture), QString::number(o.enter.width),
                 QString::number(o.enter.height));
    m_room.Panes().SystemLine(line, SUFFIX_NONE, true);
}

void CRoomMembers::OnDeparture(CKParam& packet) {
    const QString id = packet.TextOr(DepartureKey::MEMBER);
    UserInfo gone;
    const bool found = m_list.Remove(id, &gone);
    if (!m_listLoaded) {
        UserInfo departed;
        departed.id = id;
        m_beforeList.emplace_back(std::move(departed), false);
    }
    if (found && !gone.hidden && m_list.Count() < kLineLimit) {
        m_room.Panes().SystemLine(
            QStringLiteral("%1 %2").arg(HtmlEscape(gone.nickname), LoadString(IDS_LEFT_ROOM)));
    }
    if (found) {
        m_room.Chat().OnMemberLeft(id);
        m_room.Mic().OnMemberLeft(id);
    }
    Redraw();
    m_room.Chat().RefreshTargets();
}

void CRoomMembers::OnRankChanged(CKParam& packet) {
    const QString id = packet.TextOr(RankChangedKey::MEMBER);
    const int change = packet.IntOr(RankChangedKey::CHANGE, -1);
    const QString actor = packet.TextOr(RankChangedKey::BY);
    int lineId = 0;
    switch (change) {
        case 1:
            lineId = IDS_LINE_MADE_OP;
            break;
        case 0:
            lineId = IDS_LINE_OP_REMOVED;
            break;
        case 10:
            lineId = IDS_LINE_MADE_SENIOR_OP;
            break;
        case 20:
            lineId = IDS_LINE_SENIOR_OP_REMOVED;
            break;
        default:
            return;
    }
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(lineId), {LineName(id), LineName(actor)}));
    UserInfo* m = m_list.Find(id);
    if (!m) {
        return;
    }
    switch (change) {
        case 1:
            m->rank = RANK_OPERATOR;
            break;
        case 0:
            m->rank = m->registered ? RANK_MEMBER : RANK_VISITOR;
            m->seniorOperator = 0;
            break;
        case 10:
            m->seniorOperator = 1;
            break;
        case 20:
            m->seniorOperator = 0;
            break;
        default:
            break;
    }
    m_list.Refile(id);
    Redraw();
}

void CRoomMembers::OnSideList(CKParam& packet) {
    const int n = packet.IntOr(SideListKey::COUNT, 0);
    for (int i = 0; i < n && SideListKey::FIRST_MEMBER + i <= 32767; ++i) {
        const UserInfo* m =
            m_list.Find(packet.TextOr(static_cast<short>(SideListKey::FIRST_MEMBER + i)));
        if (m) {
            m_room.View().AddSideListEntry(m->nickname.leftJustified(12) + QLatin1Char('[') +
                                           m->id + QLatin1Char(']'));
        }
    }
}
