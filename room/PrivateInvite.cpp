#include "room/PrivateInvite.h"

#include "core/AppState.h"
#include "core/Notifier.h"
#include "platform/Profile.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/KParam.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/ChatPanes.h"
#include "room/PrivateInviteDlgs.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/UserInfo.h"

namespace {

// Where the private-chat settings are kept, in hundredths.
const QString kSection = QStringLiteral("Main");
const QString kThresholdKey = QStringLiteral("PrivateThreshold");
const QString kLowestKey = QStringLiteral("PrivateGreetingLowest");
const QString kHighestKey = QStringLiteral("PrivateGreetingHighest");

}  // namespace

CPrivateInvite::CPrivateInvite(CRoomDlg& room) : m_room(room) {}

void CPrivateInvite::Register(CDispatchTable& table) {
    table.Sends(CMD_PRIVATE_REQUEST);
    table.Sends(CMD_PRIVATE_ANSWER);
    table.Sends(CMD_PRIVATE_GIVE_UP);
    table.On(CMD_PRIVATE_REQUEST_REPLY, [this](CKParam& p) { OnInviteReply(p); });
    table.On(CMD_PRIVATE_REQUESTED, [this](CKParam& p) { OnInvited(p); });
    table.On(CMD_PRIVATE_ANSWER_REPLY, [this](CKParam& p) { OnAnswerReply(p); });
    table.On(CMD_PRIVATE_ANSWERED, [this](CKParam& p) { OnAnswered(p); });
    table.On(CMD_MOVE_TO_PRIVATE, [this](CKParam& p) { OnReady(p); });
    table.On(CMD_PRIVATE_FAILED, [this](CKParam& p) { OnFailed(p); });
    // The private room sends and takes the rest of the feature's codes on the same
    // connections; the room sees them only on its way out.
    for (short code :
         {CMD_ENTER_PRIVATE, CMD_LEAVE_PRIVATE, CMD_PEER_INFO, CMD_BANDWIDTH, CMD_FILE_OFFER,
          CMD_FILE_ANSWER, CMD_SNAPSHOT_CONTROL, CMD_PRIVATE_TICK, CMD_PRIVATE_TOCK}) {
        table.Sends(code);
    }
    for (short code :
         {CMD_PEER_IN_PRIVATE_ROOM, CMD_ENTER_PRIVATE_REPLY, CMD_PEER_INFO_REPLY,
          CMD_BANDWIDTH_CHANGED, CMD_FILE_OFFER_REPLY, CMD_FILE_OFFERED, CMD_PRIVATE_SPEAK}) {
        table.Elsewhere(code);
    }
    CRequestDiscipline& discipline = m_room.Discipline();
    discipline.OnTimeout(CMD_PRIVATE_REQUEST, [this] { GiveUp(CMD_PRIVATE_REQUEST); });
    discipline.OnTimeout(CMD_PRIVATE_ANSWER, [this] { GiveUp(CMD_PRIVATE_ANSWER); });
}

void CPrivateInvite::OnRoomOpened() {
    m_greetingGiven = false;
    if (!m_settingsKnown) {
        ReadSettings();
    }
}

void CPrivateInvite::SetThreshold(int hundredths) {
    m_threshold = std::max(0, hundredths);
    m_settingsKnown = true;
}

void CPrivateInvite::SetGreetingRange(int lowest, int highest) {
    m_lowest = std::max(0, lowest);
    m_highest = std::max(m_lowest, highest);
    m_settingsKnown = true;
}

void CPrivateInvite::ReadSettings() {
    const int threshold = CAppProfile::GetProfileInt(kSection, kThresholdKey, m_threshold);
    const int lowest = CAppProfile::GetProfileInt(kSection, kLowestKey, m_lowest);
    const int highest = CAppProfile::GetProfileInt(kSection, kHighestKey, m_highest);
    SetThreshold(threshold);
    SetGreetingRange(lowest, highest);
}

void CPrivateInvite::SaveSettings() const {
    CAppProfile::WriteProfileInt(kSection, kThresholdKey, m_threshold);
    CAppProfile::WriteProfileInt(kSection, kLowestKey, m_lowest);
    CAppProfile::WriteProfileInt(kSection, kHighestKey, m_highest);
}

bool CPrivateInvite::Registered() {
    return CAppState::Get().account.IsLoggedIn();
}

bool CPrivateInvite::RequestPending() const {
    return m_room.Discipline().IsPending(CMD_PRIVATE_REQUEST);
}

bool CPrivateInvite::AnswerPending() const {
    return m_room.Discipline().IsPending(CMD_PRIVATE_ANSWER);
}

QString CPrivateInvite::Line(int statusId) const {
    return LoadString(IDS_OP_PRIVATE_REQUEST) + QLatin1Char(':') + LoadString(statusId);
}

int CPrivateInvite::Invite(const QString& member) {
    CChatPanes& panes = m_room.Panes();
    if (RequestPending() || AnswerPending()) {
        panes.SystemLine(LoadString(IDS_REQUEST_PENDING));
        return -1;
    }
    if (member.isEmpty()) {
        panes.SystemLine(LoadString(IDS_CHOOSE_INVITEE));
        return -1;
    }
    CPriChatSubmitDlg dialog(Registered(), m_lowest, m_highest);
    if (dialog.DoModal() != IDOK || !m_room.IsWindow()) {
        return -1;
    }
    const int amount = dialog.AmountHundredths();
    m_greetingGiven = amount >= kGreetingHundredths;
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_PRIVATE_REQUEST);
    request.SetCString(InviteKey::MEMBER, member);
    request.SetBoolean(InviteKey::GREETING, m_greetingGiven);
    request.SetInt(InviteKey::AMOUNT, amount);
    request.SetCString(InviteKey::REASON, dialog.Reason());
    const int result = m_room.Discipline().Send(CMD_PRIVATE_REQUEST, request);
    panes.SystemLine(LoadString(IDS_OP_PRIVATE_REQUEST),
                     result == 0 ? SUFFIX_SUCCESS : SUFFIX_FAILURE);
    return result == 0 ? 0 : -1;
}

void CPrivateInvite::OnInviteReply(CKParam& packet) {
    // Accepted, the invitation waits for the invitee's answer; refused, it is over.
    if (packet.IntOr(KEY_RESULT, 0) != -1) {
        return;
    }
    m_room.Discipline().ClearPending(CMD_PRIVATE_REQUEST);
    m_room.Panes().SystemLine(LoadString(IDS_OP_PRIVATE_REQUEST) + LoadString(IDS_FAILURE_SUFFIX) +
                              RefusalText(packet.IntOr(KEY_REFUSAL, 0)));
}

int CPrivateInvite::Answer(bool accepted, const QString& text) {
    CKParam answer;
    answer.SetShortInt(KEY_COMMAND, CMD_PRIVATE_ANSWER);
    answer.SetBoolean(InviteAnswerKey::ACCEPTED, accepted);
    answer.SetCString(InviteAnswerKey::TEXT, text);
    // Only a yes waits for the private room; a no is said and done.
    CRequestDiscipline& discipline = m_room.Discipline();
    return accepted ? discipline.Send(CMD_PRIVATE_ANSWER, answer)
                    : discipline.Answer(CMD_PRIVATE_ANSWER, answer);
}

void CPrivateInvite::OnInvited(CKParam& packet) {
    if (!m_room.IsShown()) {
        Answer(false, QString());
        return;
    }
    const QString inviter = packet.TextOr(InviteKey::MEMBER);
    const bool greeting = packet.BoolOr(InviteKey::GREETING, false);
    const int amount = packet.IntOr(InviteKey::AMOUNT, 0);
    const QString reason = packet.TextOr(InviteKey::REASON);
    const QString unit = CAppState::Get().settings.moneyName;
    // The inviter's nickname; "后台管理员" stands for an empty identifier.
    const UserInfo* member = m_room.Members().Find(inviter);
    const QString name =
        inviter.isEmpty() ? LoadString(IDS_BACKSTAGE_ADMIN) : (member ? member->nickname : inviter);
    if (Registered() && amount < m_threshold) {
        Answer(false,
               QString::asprintf("%s %0.2f%s", qUtf8Printable(LoadString(IDS_BELOW_THRESHOLD)),
                                 m_threshold / 100.0, qUtf8Printable(unit)));
        m_room.Panes().SystemLine(QStringLiteral("%1:%2(%3) %4,%5")
                                      .arg(LoadString(IDS_PRIVATE_REPLY_TITLE), HtmlEscape(name),
                                           HtmlEscape(inviter), LoadString(IDS_OP_PRIVATE_REQUEST),
                                           LoadString(IDS_REFUSED_BY_THRESHOLD)));
        return;
    }
    const QString who = QStringLiteral("%1(%2)").arg(name, inviter);
    const QString question =
        greeting
            ? FillPlaceholders(
                  LoadString(IDS_INVITE_QUESTION_GIFT),
                  {who, reason, QString::asprintf("%0.2f%s", amount / 100.0, qUtf8Printable(unit))})
            : FillPlaceholders(LoadString(IDS_INVITE_QUESTION), {who, reason});
    // The answer window counts down from 30 seconds; a user looking at another program hears of
    // it while there is time to answer.
    NotifyUser(NOTICE_PRIVATE_INVITATION,
               FillPlaceholders(LoadString(IDS_NOTICE_PRIVATE_INVITATION), {who}), reason);
    CReqPriChatDlg dialog(question);
    const bool accepted = dialog.DoModal() == IDOK;
    if (!m_room.IsWindow()) {
        return;
    }
    m_room.Panes().SystemLine(Line(accepted ? IDS_ACCEPTED : IDS_REFUSED));
    if (Answer(accepted, inviter) != 0) {
        m_room.Panes().SystemLine(LoadString(IDS_PRIVATE_REPLY_TITLE), SUFFIX_FAILURE);
    }
}

void CPrivateInvite::OnAnswerReply(CKParam& packet) {
    if (packet.IntOr(KEY_RESULT, 0) != -1) {
        return;
    }
    m_room.Discipline().ClearPending(CMD_PRIVATE_ANSWER);
    m_room.Panes().SystemLine(LoadString(IDS_PRIVATE_REPLY_TITLE) + LoadString(IDS_FAILURE_SUFFIX) +
                              RefusalText(packet.IntOr(KEY_REFUSAL, 0)));
}

void CPrivateInvite::OnAnswered(CKParam& packet) {
    m_room.Discipline().ClearPending(CMD_PRIVATE_REQUEST);
    const bool accepted = packet.BoolOr(InviteAnswerKey::ACCEPTED, false);
    const QString text = packet.TextOr(InviteAnswerKey::TEXT);
    if (!accepted && !text.isEmpty()) {
        m_room.Panes().SystemLine(HtmlEscape(text));
        return;
    }
    m_room.Panes().SystemLine(LoadString(IDS_OP_PRIVATE_REQUEST) + QLatin1Char(':') +
                              LoadString(IDS_THE_PEER) +
                              LoadString(accepted ? IDS_ACCEPTED : IDS_REFUSED));
}

void CPrivateInvite::OnReady(CKParam& packet) {
    CRequestDiscipline& discipline = m_room.Discipline();
    discipline.ClearPending(CMD_PRIVATE_ANSWER);
    discipline.ClearPending(CMD_PRIVATE_REQUEST);
    m_peerNumber = packet.IntOr(PrivateReadyKey::PEER_NUMBER, 0);
    m_room.SetPrivatePeer(m_peerNumber);
    CKParam leave;
    leave.SetShortInt(KEY_COMMAND, CMD_LEAVE_PRIVATE);
    leave.SetBoolean(LeavePrivateKey::FLAG, false);
    m_room.SendMain(leave);
    m_room.Close(IDOK);
}

void CPrivateInvite::OnFailed(CKParam&) {
    CRequestDiscipline& discipline = m_room.Discipline();
    discipline.ClearPending(CMD_PRIVATE_ANSWER);
    discipline.ClearPending(CMD_PRIVATE_REQUEST);
    m_room.Panes().SystemLine(LoadString(IDS_PRIVATE_FAILED));
}

void CPrivateInvite::GiveUp(short what) {
    m_room.Panes().SystemLine(QStringLiteral("%1 %2").arg(
        LoadString(what == CMD_PRIVATE_REQUEST ? IDS_OP_PRIVATE_REQUEST : IDS_PRIVATE_REPLY_TITLE),
        LoadString(IDS_TIMEOUT)));
    CKParam giveUp;
    giveUp.SetShortInt(KEY_COMMAND, CMD_PRIVATE_GIVE_UP);
    giveUp.SetInt(PrivateGiveUpKey::WHAT, what);
    m_room.SendMain(giveUp);
}
