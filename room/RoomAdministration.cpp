#include "room/RoomAdministration.h"

#include "core/AppState.h"
#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/AdminKeys.h"
#include "room/AdminDialogs.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/ResponseDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"

#include <QDateTime>

namespace {

CKParam Request(short code) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, code);
    return p;
}

// "允许" or "禁止".
QString AllowWord(bool allow) {
    return LoadString(allow ? IDS_ALLOW : IDS_FORBID);
}

}  // namespace

CRoomAdministration::CRoomAdministration(CRoomDlg& room) : m_room(room) {}

void CRoomAdministration::Register(CDispatchTable& table) {
    for (short code :
         {CMD_NICKNAME, CMD_ROOM_FAVORITE, CMD_TOPIC, CMD_PUBLIC_TEXT_CONTROL, CMD_LOCK_ROOM,
          CMD_VIDEO_CONTROL, CMD_KICK, CMD_TYPE_CONTROL, CMD_GRAB_CONTROL, CMD_FORCE_NICKNAME,
          CMD_BAN, CMD_OP_CONTROL, CMD_REPORT, CMD_REPORT_INFO}) {
        table.Sends(code);
    }
    // The report information is read from the waiting dialog's copy.
    table.Elsewhere(CMD_REPORT_INFO_REPLY);
    table.On(CMD_NICKNAME_CHANGED, [this](CKParam& p) { OnNicknameChanged(p); });
    table.On(CMD_NICKNAME_FORCED, [this](CKParam& p) { OnNicknameForced(p); });
    table.On(CMD_TOPIC_CHANGED, [this](CKParam& p) { OnTopicChanged(p); });
    table.On(CMD_PUBLIC_TEXT_CHANGED, [this](CKParam& p) { OnPublicText(p); });
    table.On(CMD_ROOM_LOCK_CHANGED, [this](CKParam& p) { OnLockChanged(p); });
    table.On(CMD_VIDEO_CONTROL_CHANGED, [this](CKParam& p) { OnVideoControl(p); });
    table.On(CMD_KICKED, [this](CKParam& p) { OnKicked(p); });
    table.On(CMD_TYPE_CONTROL_CHANGED, [this](CKParam& p) { OnTypeControl(p); });
    table.On(CMD_GRAB_CONTROL_CHANGED, [this](CKParam& p) { OnGrabControl(p); });
    table.On(CMD_BANNED, [this](CKParam& p) { OnBanned(p); });
    table.On(CMD_ROOM_NAME_CHANGED, [this](CKParam& p) { OnRoomNameChanged(p); });
    table.On(CMD_VIDEO_PERMISSION_CHANGED, [this](CKParam& p) { OnVideoPermission(p); });
    table.On(CMD_ROOM_DISABLED, [this](CKParam& p) { OnRoomDisabled(p); });
}

void CRoomAdministration::OnRoomOpened() {
    m_videoAllowed = true;
    m_noTyping.clear();
    m_noGrab.clear();
}

void CRoomAdministration::OnSettings(const tagRoomSettings& settings) {
    m_videoAllowed = settings.videoAllowed;
}

bool CRoomAdministration::Locked() const {
    return m_room.Settings().lockState != 0;
}

bool CRoomAdministration::MayAsk(short code) {
    CRequestDiscipline& discipline = m_room.Discipline();
    return discipline.CheckPending(code) && discipline.CheckInterval(code);
}

// ---- requests

int CRoomAdministration::ChangeNickname() {
    if (!MayAsk(CMD_NICKNAME)) {
        return -1;
    }
    const UserInfo* own = m_room.OwnRecord();
    CModifyNameDlg dialog(own ? own->nickname : QString());
    if (dialog.DoModal() != IDOK) {
        return -1;
    }
    m_room.Discipline().RecordAttempt(CMD_NICKNAME);
    CKParam p = Request(CMD_NICKNAME);
    p.SetCString(NicknameKey::NICKNAME, dialog.Nickname());
    return m_room.Discipline().Send(CMD_NICKNAME, p) == 0 ? 0 : -1;
}

int CRoomAdministration::ForceNickname(const QString& id) {
    if (!m_room.Members().RequirePresent(id) || !MayAsk(CMD_FORCE_NICKNAME)) {
        return -1;
    }
    CModifyNameDlg dialog(m_room.Members().Find(id)->nickname);
    dialog.SetTitle(QStringLiteral("%1: %2").arg(LoadString(IDS_OP_FORCE_NICKNAME),
                                                 m_room.Members().PlainName(id)));
    // The member may have left while the dialog was up.
    if (dialog.DoModal() != IDOK || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    CKParam p = Request(CMD_FORCE_NICKNAME);
    p.SetCString(ForceNicknameKey::MEMBER, id);
    p.SetCString(ForceNicknameKey::NICKNAME, dialog.Nickname());
    return m_room.Discipline().Send(CMD_FORCE_NICKNAME, p) == 0 ? 0 : -1;
}

int CRoomAdministration::ChangeTopic() {
    if (!MayAsk(CMD_TOPIC)) {
        return -1;
    }
    CModifyTopicDlg dialog(m_room.Settings().topic);
    if (dialog.DoModal() != IDOK) {
        return -1;
    }
    m_room.Discipline().RecordAttempt(CMD_TOPIC);
    CKParam p = Request(CMD_TOPIC);
    p.SetCString(TopicKey::TOPIC, dialog.Topic());
    return m_room.Discipline().Send(CMD_TOPIC, p) == 0 ? 0 : -1;
}

int CRoomAdministration::ChangeLock() {
    if (!MayAsk(CMD_LOCK_ROOM)) {
        return -1;
    }
    CModifyLockPasswordDlg dialog(Locked());
    if (dialog.DoModal() != IDOK) {
        return -1;
    }
    CKParam p = Request(CMD_LOCK_ROOM);
    p.SetInt(LockRoomKey::LOCK, dialog.Lock() ? 1 : 0);
    p.SetCString(LockRoomKey::PASSWORD, dialog.Lock() ? dialog.Password() : QString());
    return m_room.Discipline().Send(CMD_LOCK_ROOM, p) == 0 ? 0 : -1;
}

int CRoomAdministration::SetPublicText(bool allow) {
    if (!m_room.Discipline().CheckPending(CMD_PUBLIC_TEXT_CONTROL)) {
        return -1;
    }
    if (m_room.Chat().PublicTextAllowed() == allow) {
        m_room.Panes().SystemLine(LoadString(IDS_ALREADY) + AllowWord(allow) +
                                  LoadString(IDS_PUBLIC_TEXT));
        return -1;
    }
    CKParam p = Request(CMD_PUBLIC_TEXT_CONTROL);
    p.SetInt(PublicTextControlKey::ALLOW, allow ? 1 : 0);
    return m_room.Discipline().Request(CMD_PUBLIC_TEXT_CONTROL, p) == 0 ? 0 : -1;
}

int CRoomAdministration::SetVideo(bool allow) {
    if (!m_room.Discipline().CheckPending(CMD_VIDEO_CONTROL)) {
        return -1;
    }
    if (m_videoAllowed == allow) {
        m_room.Panes().SystemLine(LoadString(IDS_ALREADY) + AllowWord(allow) +
                                  LoadString(IDS_VIDEO));
        return -1;
    }
    CKParam p = Request(CMD_VIDEO_CONTROL);
    p.SetInt(VideoControlKey::ALLOW, allow ? 1 : 0);
    p.SetInt(VideoControlKey::WHICH, 0);
    return m_room.Discipline().Request(CMD_VIDEO_CONTROL, p) == 0 ? 0 : -1;
}

int CRoomAdministration::Kick(const QString& id) {
    if (!m_room.Members().RequirePresent(id) || !MayAsk(CMD_KICK)) {
        return -1;
    }
    CKickManDlg dialog(m_room.Members().Find(id)->nickname, id);
    if (dialog.DoModal() != IDOK || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    m_room.Discipline().RecordAttempt(CMD_KICK);
    CKParam p = Request(CMD_KICK);
    p.SetCString(KickKey::MEMBER, id);
    p.SetCString(KickKey::REASON, dialog.Reason());
    return m_room.Discipline().Send(CMD_KICK, p) == 0 ? 0 : -1;
}

int CRoomAdministration::Ban(const QString& id) {
    if (!m_room.Members().RequirePresent(id) || !MayAsk(CMD_BAN)) {
        return -1;
    }
    CBanManDlg dialog(m_room.Members().Find(id)->nickname, id);
    if (dialog.DoModal() != IDOK || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    return Ban(id, dialog.Hours(), 1, dialog.Reason());
}

int CRoomAdministration::QuickBan(const QString& id) {
    if (!m_room.Members().RequirePresent(id) || !MayAsk(CMD_BAN)) {
        return -1;
    }
    return Ban(id, kQuietBanHours, 0, QString());
}

int CRoomAdministration::Ban(const QString& id, int hours, int key40, const QString& reason) {
    CKParam p = Request(CMD_BAN);
    p.SetCString(BanKey::MEMBER, id);
    p.SetInt(BanKey::HOURS, hours);
    p.SetInt(BanKey::NUMBER_40, key40);
    p.SetCString(BanKey::REASON, reason);
    return m_room.Discipline().Send(CMD_BAN, p) == 0 ? 0 : -1;
}

int CRoomAdministration::SetTyping(const QString& id, bool allow) {
    if (!m_room.Members().RequirePresent(id)) {
        return -1;
    }
    CKParam p = Request(CMD_TYPE_CONTROL);
    p.SetInt(TypeControlKey::ALLOW, allow ? 1 : 0);
    p.SetCString(TypeControlKey::MEMBER, id);
    return m_room.Discipline().Request(CMD_TYPE_CONTROL, p) == 0 ? 0 : -1;
}

int CRoomAdministration::SetGrab(const QString& id, bool allow) {
    if (!m_room.Members().RequirePresent(id)) {
        return -1;
    }
    CKParam p = Request(CMD_GRAB_CONTROL);
    p.SetInt(GrabControlKey::ALLOW, allow ? 1 : 0);
    p.SetCString(GrabControlKey::MEMBER, id);
    return m_room.Discipline().Request(CMD_GRAB_CONTROL, p) == 0 ? 0 : -1;
}

int CRoomAdministration::SetOperator(const QString& id, int change) {
    if (change != OP_REMOVE && change != OP_MAKE && change != OP_MAKE_SENIOR &&
        change != OP_REMOVE_SENIOR) {
        return -1;
    }
    if (!m_room.Members().RequirePresent(id)) {
        return -1;
    }
    CKParam p = Request(CMD_OP_CONTROL);
    p.SetCString(OpControlKey::MEMBER, id);
    p.SetInt(OpControlKey::CHANGE, change);
    return m_room.Discipline().Request(CMD_OP_CONTROL, p) == 0 ? 0 : -1;
}

int CRoomAdministration::AddFavourite() {
    const UserInfo* own = m_room.OwnRecord();
    if (!own || !own->registered) {
        m_room.Panes().SystemLine(LoadString(IDS_VISITOR_NO_FAVORITE));
        return -1;
    }
    CKParam p = Request(CMD_ROOM_FAVORITE);
    return m_room.Discipline().Request(CMD_ROOM_FAVORITE, p) == 0 ? 0 : -1;
}

int CRoomAdministration::Report() {
    if (!m_room.Discipline().CheckPending(CMD_REPORT)) {
        return -1;
    }
    CResponseDlg fetch(&m_room.Host().MainConnection(), CMD_REPORT_INFO);
    CKParam ask = Request(CMD_REPORT_INFO);
    fetch.SetRequest(ask);
    if (fetch.DoModal() != IDOK || !m_room.IsWindow()) {
        return -1;
    }
    const int ticket = fetch.Reply().IntOr(ReportInfoKey::TICKET, 0);
    CReportDlg dialog(fetch.Reply().TextOr(ReportInfoKey::TEXT));
    if (dialog.DoModal() != IDOK || !m_room.IsWindow()) {
        return -1;
    }
    CKParam p = Request(CMD_REPORT);
    p.SetInt(ReportKey::TICKET, ticket);
    p.SetCString(ReportKey::TEXT, dialog.Text());
    return m_room.Discipline().Send(CMD_REPORT, p) == 0 ? 0 : -1;
}

// ---- announcements

QString CRoomAdministration::Rename(const QString& id, const QString& nickname) {
    CRoomMembers& members = m_room.Members();
    const QString before = members.SubjectName(id);
    UserInfo* member = members.List().Find(id);
    if (!member) {
        return before;
    }
    member->nickname = nickname;
    members.Redraw();
    m_room.Chat().RefreshTargets();
    // The label above the input box names the target by nickname.
    if (m_room.Chat().Target() == id) {
        m_room.Chat().SetTarget(id);
    }
    return before;
}

void CRoomAdministration::OnNicknameChanged(CKParam& packet) {
    const QString nickname = packet.TextOr(NicknameChangedKey::NICKNAME);
    const QString before = Rename(packet.TextOr(NicknameChangedKey::MEMBER), nickname);
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(IDS_LINE_NICKNAME), {before, HtmlEscape(nickname)}));
}

void CRoomAdministration::OnNicknameForced(CKParam& packet) {
    const QString nickname = packet.TextOr(NicknameForcedKey::NICKNAME);
    const QString actor = m_room.Members().LineName(packet.TextOr(NicknameForcedKey::BY));
    const QString before = Rename(packet.TextOr(NicknameForcedKey::MEMBER), nickname);
    m_room.Panes().SystemLine(FillPlaceholders(LoadString(IDS_LINE_NICKNAME_FORCED),
                                               {before, actor, HtmlEscape(nickname)}));
}

void CRoomAdministration::OnTopicChanged(CKParam& packet) {
    const QString topic = packet.TextOr(TopicChangedKey::TOPIC);
    m_room.MutableSettings().topic = topic;
    m_room.View().SetTopic(LoadString(IDS_TOPIC_TITLE), HtmlEscape(topic));
    m_room.Panes().SystemLine(FillPlaceholders(
        LoadString(IDS_LINE_TOPIC),
        {m_room.Members().LineName(packet.TextOr(TopicChangedKey::BY)), HtmlEscape(topic)}));
}

void CRoomAdministration::OnPublicText(CKParam& packet) {
    const bool allow = packet.BoolOr(PublicTextChangedKey::ALLOW, true);
    m_room.Chat().SetPublicTextAllowed(allow);
    m_room.MutableSettings().publicText = allow;
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(allow ? IDS_LINE_PUBLIC_TEXT_ON : IDS_LINE_PUBLIC_TEXT_OFF),
                         {m_room.Members().LineName(packet.TextOr(PublicTextChangedKey::BY))}));
}

void CRoomAdministration::OnLockChanged(CKParam& packet) {
    const bool locked = packet.IntOr(RoomLockChangedKey::LOCKED, 0) == 1;
    m_room.MutableSettings().lockState = locked ? 401 : 0;
    m_room.Panes().SystemLine(QStringLiteral("%1 %2").arg(
        m_room.Members().LineName(packet.TextOr(RoomLockChangedKey::BY)),
        LoadString(locked ? IDS_LINE_LOCKED : IDS_LINE_UNLOCKED)));
}

void CRoomAdministration::OnVideoControl(CKParam& packet) {
    const bool allow = packet.IntOr(VideoControlChangedKey::ALLOW, 0) != 0;
    const int which = packet.IntOr(VideoControlChangedKey::WHICH, 0);
    const int what = which == 1 ? IDS_VIDEO_1 : which == 2 ? IDS_VIDEO_2 : IDS_VIDEO;
    if (which != 1 && which != 2) {
        m_videoAllowed = allow;
    }
    m_room.Panes().SystemLine(QStringLiteral("%1 %2%3").arg(
        m_room.Members().LineName(packet.TextOr(VideoControlChangedKey::BY)), AllowWord(allow),
        LoadString(what)));
}

void CRoomAdministration::SetCloseReason(const QString& text) {
    m_room.Host().MainConnection().SetCloseReason(text);
}

void CRoomAdministration::OnKicked(CKParam& packet) {
    const QString id = packet.TextOr(KickedKey::MEMBER);
    const QString by = packet.TextOr(KickedKey::BY);
    const QString reason = packet.TextOr(KickedKey::REASON);
    CRoomMembers& members = m_room.Members();
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(IDS_LINE_KICKED),
                         {members.SubjectName(id), members.LineName(by), HtmlEscape(reason)}));
    if (!id.isEmpty() && id == m_room.OwnId()) {
        // A message box, not a page: the names go in as they are.
        SetCloseReason(FillPlaceholders(LoadString(IDS_LINE_KICKED),
                                        {LoadString(IDS_YOU), members.PlainName(by), reason}));
    }
}

void CRoomAdministration::SetMemberFlag(QSet<QString>& set, const QString& id, bool on) {
    if (!m_room.Members().Find(id)) {
        return;
    }
    if (on) {
        set.insert(id);
    } else {
        set.remove(id);
    }
}

void CRoomAdministration::OnTypeControl(CKParam& packet) {
    const bool forbidden = packet.IntOr(TypeControlKey::ALLOW, 1) == 0;
    const QString id = packet.TextOr(TypeControlKey::MEMBER);
    const QString by = packet.TextOr(TypeControlKey::BY);
    CRoomMembers& members = m_room.Members();
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(forbidden ? IDS_LINE_TYPE_FORBIDDEN : IDS_LINE_TYPE_ALLOWED),
                         {members.SubjectName(id), members.LineName(by)}));
    SetMemberFlag(m_noTyping, id, forbidden);
    if (!id.isEmpty() && id == m_room.OwnId()) {
        m_room.Chat().SetTypeForbidden(forbidden, by);
    }
}

void CRoomAdministration::OnGrabControl(CKParam& packet) {
    const int allow = packet.IntOr(GrabControlKey::ALLOW, -1);
    if (allow != 0 && allow != 1) {
        return;
    }
    const bool forbidden = allow == 0;
    const QString id = packet.TextOr(GrabControlKey::MEMBER);
    CRoomMembers& members = m_room.Members();
    m_room.Panes().SystemLine(FillPlaceholders(
        LoadString(forbidden ? IDS_LINE_GRAB_FORBIDDEN : IDS_LINE_GRAB_ALLOWED),
        {members.SubjectName(id), members.LineName(packet.TextOr(GrabControlKey::BY))}));
    SetMemberFlag(m_noGrab, id, forbidden);
    if (!id.isEmpty() && id == m_room.OwnId()) {
        m_room.Mic().SetGrabForbidden(forbidden);
    }
}

void CRoomAdministration::OnBanned(CKParam& packet) {
    const QString id = packet.TextOr(BannedKey::MEMBER);
    const QString by = packet.TextOr(BannedKey::BY);
    const int hours = packet.IntOr(BannedKey::HOURS, 0);
    const QString reason = packet.TextOr(BannedKey::REASON);
    CRoomMembers& members = m_room.Members();
    // A quiet ban is not told to the room.
    if (hours != kQuietBanHours) {
        m_room.Panes().SystemLine(FillPlaceholders(LoadString(IDS_LINE_BANNED),
                                                   {members.SubjectName(id), members.LineName(by),
                                                    QString::number(hours), HtmlEscape(reason)}));
    }
    if (!id.isEmpty() && id == m_room.OwnId()) {
        SetCloseReason(hours == kQuietBanHours
                           ? LoadString(IDS_BANNED_QUIETLY)
                           : FillPlaceholders(LoadString(IDS_LINE_BANNED),
                                              {LoadString(IDS_YOU), members.PlainName(by),
                                               QString::number(hours), reason}));
    }
}

void CRoomAdministration::OnRoomNameChanged(CKParam& packet) {
    const QString name = packet.TextOr(RoomNameChangedKey::NAME);
    m_room.MutableSettings().name = name;
    m_room.View().SetRoomName(name);
    m_room.Panes().SystemLine(FillPlaceholders(
        LoadString(IDS_LINE_ROOM_NAME),
        {m_room.Members().LineName(packet.TextOr(RoomNameChangedKey::BY)), HtmlEscape(name)}));
}

void CRoomAdministration::OnVideoPermission(CKParam& packet) {
    const bool allow = packet.BoolOr(VideoPermissionKey::ALLOW, false);
    m_room.Panes().SystemLine(
        QStringLiteral("%1%2%3! %4:%5")
            .arg(m_room.Members().SubjectName(packet.TextOr(VideoPermissionKey::MEMBER)),
                 AllowWord(allow), LoadString(IDS_VIDEO), LoadString(IDS_REASON),
                 HtmlEscape(packet.TextOr(VideoPermissionKey::REASON))));
}

void CRoomAdministration::OnRoomDisabled(CKParam& packet) {
    const QString until = QDateTime::fromSecsSinceEpoch(packet.IntOr(RoomDisabledKey::UNTIL, 0))
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    MessageBox(
        QStringLiteral("%1:%2, %3:%4, %5")
            .arg(LoadString(IDS_ROOM_DISABLED_REASON), packet.TextOr(RoomDisabledKey::REASON),
                 LoadString(IDS_BAN_ENDS), until, LoadString(IDS_CLICK_OK_TO_LEAVE)),
        QStringLiteral("Warning"), MB_ICONINFORMATION | MB_TOPMOST);
    m_room.Close(IDCANCEL);
}
