#include "room/PrivateMic.h"

#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/PrivateMicKeys.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"

CPrivateMic::CPrivateMic(CRoomDlg& room) : m_room(room) {}

void CPrivateMic::Register(CDispatchTable& t) {
    for (short code : {CMD_PRIVATE_MIC, CMD_VISIT_PRIVATE_MIC, CMD_RELEASE_PRIVATE_MIC,
                       CMD_SEND_OFF_PRIVATE_MIC, CMD_HAND_HANDLE}) {
        t.Sends(code);
    }
    for (short code : {CMD_PRIVATE_MIC_CHANGED, CMD_PRIVATE_MIC_VISITED, CMD_PRIVATE_MIC_RELEASED,
                       CMD_SENT_OFF_PRIVATE_MIC}) {
        t.On(code, [this](CKParam& p) { OnChanged(p); });
    }
    t.On(CMD_PRIVATE_MIC_NOTICE, [this](CKParam& p) { OnNotice(p); });
    t.On(CMD_HANDLE_HANDED, [this](CKParam& p) { OnHandleHanded(p); });
}

void CPrivateMic::OnChanged(CKParam& p) {
    UserInfo* m = m_room.Members().List().Find(p.TextOr(PrivateMicChangedKey::MEMBER));
    const short code = p.Command();
    if (m && code == CMD_PRIVATE_MIC_CHANGED) {
        m->onPrivateMic = true;
    } else if (m && code == CMD_PRIVATE_MIC_RELEASED) {
        m->onPrivateMic = false;
    }
    m_room.Members().Redraw();
}

void CPrivateMic::OnNotice(CKParam& p) {
    m_room.Panes().SystemLine(HtmlEscape(p.TextOr(PrivateMicNoticeKey::TEXT)));
    m_room.View().ClosePrivateMicWindow();
}

void CPrivateMic::OnHandleHanded(CKParam& p) {
    const QString to = p.TextOr(HandleHandedKey::TO);
    const QString by = p.TextOr(HandleHandedKey::BY);
    const CRoomMembers& members = m_room.Members();
    if (!to.isEmpty() && !by.isEmpty()) {
        m_room.Panes().SystemLine(FillPlaceholders(LoadString(IDS_LINE_HANDLE_HANDED),
                                                   {members.LineName(to), members.LineName(by)}),
                                  SUFFIX_NONE, true);
    }
    m_room.Mic().SetFloorHolder(to);
}

int CPrivateMic::Take(bool confirm) {
    CRequestDiscipline& d = m_room.Discipline();
    if (!d.CheckPending(CMD_PRIVATE_MIC) || !d.CheckInterval(CMD_PRIVATE_MIC)) {
        return -1;
    }
    // Private microphones are for members with an account.
    const UserInfo* me = m_room.OwnRecord();
    if (!me || !me->registered) {
        m_room.Panes().SystemLine(LoadString(IDS_NO_PRIVATE_MIC_RIGHT));
        return -1;
    }
    return d.SendAttempt(CMD_PRIVATE_MIC,
                         [&](CKParam& p) { p.SetBoolean(PrivateMicKey::CONFIRM, confirm); });
}

int CPrivateMic::Visit(const QString& id) {
    return SendAbout(CMD_VISIT_PRIVATE_MIC, id, IDS_VISITING_PRIVATE_MIC, [&](CKParam& p) {
        p.SetCString(VisitPrivateMicKey::MEMBER, id);
        p.SetCString(VisitPrivateMicKey::VISITOR, m_room.OwnId());
    });
}

int CPrivateMic::Release() {
    CRequestDiscipline& d = m_room.Discipline();
    return d.CheckPending(CMD_RELEASE_PRIVATE_MIC) ? d.SendAttempt(CMD_RELEASE_PRIVATE_MIC) : -1;
}

int CPrivateMic::SendOff(const QString& id) {
    return SendAbout(CMD_SEND_OFF_PRIVATE_MIC, id, IDS_SENT_OFF_PRIVATE_MIC,
                     [&](CKParam& p) { p.SetCString(SendOffPrivateMicKey::MEMBER, id); });
}

int CPrivateMic::SendAbout(short code, const QString& id, int lineId,
                           const std::function<void(CKParam&)>& keys) {
    if (!m_room.Discipline().CheckPending(code) || !m_room.Members().RequirePresent(id)) {
        return -1;
    }
    const int result = m_room.Discipline().SendAttempt(code, keys);
    if (result == 0) {
        m_room.Panes().SystemLine(
            FillPlaceholders(LoadString(lineId), {m_room.Members().LineName(id)}));
    }
    return result;
}

int CPrivateMic::HandHandle(const QString& id) {
    return m_room.Discipline().SendAttempt(
        CMD_HAND_HANDLE, [&](CKParam& p) { p.SetCString(HandHandleKey::MEMBER, id); });
}
