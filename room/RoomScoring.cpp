#include "room/RoomScoring.h"

#include "core/AppState.h"
#include "platform/Clock.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/ScoringKeys.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomStrings.h"
#include "room/ScoringDialogs.h"

namespace {

CKParam Request(short code) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, code);
    return p;
}

}  // namespace

CRoomScoring::CRoomScoring(CRoomDlg& room) : m_room(room) {}

void CRoomScoring::Register(CDispatchTable& table) {
    for (short code : {CMD_ACTIVITY, CMD_SCORE_REQUEST, CMD_SCORE_SUBMIT}) {
        table.Sends(code);
    }
    table.On(CMD_ACTIVITY_ORGANISED, [this](CKParam& p) { OnActivityOrganised(p); });
    table.On(CMD_SCORING_MEMBER, [this](CKParam& p) { OnScoringMember(p); });
    table.On(CMD_SCORING_RESULT, [this](CKParam& p) { OnScoringResult(p); });
    table.On(CMD_ACTIVITY_ENDED, [this](CKParam& p) { OnActivityEnded(p); });
}

void CRoomScoring::OnRoomOpened() {
    m_activity = false;
    m_scoring = false;
    m_target.clear();
    m_cost = 0;
}

void CRoomScoring::OnSettings(const tagRoomSettings& settings) {
    m_cost = settings.scoreCost;
}

int CRoomScoring::ToggleActivity() {
    CEventDlg dialog(m_activity, m_cost, CAppState::Get().settings.moneyName);
    if (dialog.DoModal() != IDOK || dialog.Running() == m_activity) {
        return -1;
    }
    const bool on = dialog.Running();
    CKParam p = Request(CMD_ACTIVITY);
    p.SetBoolean(ActivityKey::ON, on);
    p.SetCString(ActivityKey::TITLE, dialog.EventTitle());
    return m_room.Discipline().Send(CMD_ACTIVITY, p, LoadString(on ? IDS_START : IDS_END)) == 0
               ? 0
               : -1;
}

int CRoomScoring::RequestScore() {
    int refusal = 0;
    if (!m_activity) {
        refusal = IDS_START_ACTIVITY_FIRST;
    } else if (m_scoring) {
        // Only 950 or 920 clear it, even when the last round's result never came.
        refusal = IDS_SCORING_UNDER_WAY;
    } else if (m_target.isEmpty()) {
        refusal = IDS_CHOOSE_SCORED;
    }
    if (refusal != 0) {
        m_room.Panes().SystemLine(LoadString(refusal));
        return -1;
    }
    CKParam p = Request(CMD_SCORE_REQUEST);
    p.SetCString(ScoreRequestKey::MEMBER, m_target);
    return m_room.Discipline().Send(CMD_SCORE_REQUEST, p) == 0 ? 0 : -1;
}

QString CRoomScoring::RankedName(const QString& id) const {
    const UserInfo* member = m_room.Members().Find(id);
    const QString nickname = member ? member->nickname : LoadString(IDS_MEMBER_GONE);
    return HtmlEscape(QStringLiteral("%1(%2)").arg(nickname, id));
}

void CRoomScoring::OnActivityOrganised(CKParam& packet) {
    const QString by = packet.TextOr(ActivityOrganisedKey::BY);
    m_activity = packet.BoolOr(ActivityOrganisedKey::ON, false);
    if (!m_activity) {
        m_scoring = false;
    }
    const UserInfo* organiser = m_room.Members().Find(by);
    m_room.Panes().SystemLine(HtmlEscape(QStringLiteral("%1(%2) %3('%4')")
                                             .arg(organiser ? organiser->nickname : QString(), by,
                                                  LoadString(IDS_ACTIVITY_ORGANISED),
                                                  packet.TextOr(ActivityOrganisedKey::TITLE))),
                              SUFFIX_NONE, true);
}

void CRoomScoring::OnScoringMember(CKParam& packet) {
    m_scoring = true;
    const QString by = packet.TextOr(ScoringMemberKey::BY);
    const QString member = packet.TextOr(ScoringMemberKey::MEMBER);
    if (member.isEmpty() || member.compare(m_room.OwnId(), Qt::CaseInsensitive) == 0) {
        return;
    }
    const CRoomMembers& members = m_room.Members();
    const auto name = [&members](const QString& id) {
        const QString plain = members.PlainName(id);
        return plain.isEmpty() ? id : plain;
    };
    CMarkScoreDlg dialog(FillPlaceholders(LoadString(IDS_ASK_SCORE), {name(by), name(member)}));
    if (dialog.DoModal() != IDOK || !m_room.IsWindow()) {
        return;
    }
    CKParam p = Request(CMD_SCORE_SUBMIT);
    p.SetCString(ScoreSubmitKey::MEMBER, member);
    p.SetInt(ScoreSubmitKey::SCORE, dialog.Score());
    m_room.Discipline().Send(CMD_SCORE_SUBMIT, p);
}

void CRoomScoring::OnScoringResult(CKParam& packet) {
    m_scoring = false;
    m_room.Panes().SystemLine(
        FillPlaceholders(LoadString(IDS_SCORE_RESULT),
                         {RankedName(packet.TextOr(ScoringResultKey::MEMBER)),
                          HtmlEscape(packet.TextOr(ScoringResultKey::AVERAGE)),
                          QString::number(packet.IntOr(ScoringResultKey::COUNT, 0))}),
        SUFFIX_NONE, true);
}

void CRoomScoring::OnActivityEnded(CKParam& packet) {
    m_activity = false;
    m_scoring = false;
    const QString by = packet.TextOr(ActivityEndedKey::BY);
    const int count = packet.IntOr(ActivityEndedKey::COUNT, 0);
    const QString results = count >= 1 ? LoadString(IDS_ACTIVITY_RESULTS) : QString();
    QString heading;
    if (by.isEmpty()) {
        heading = QStringLiteral("%1 %2").arg(LoadString(IDS_ACTIVITY_NO_OWNER), results);
    } else {
        const UserInfo* ender = m_room.Members().Find(by);
        heading = HtmlEscape(QStringLiteral("%1(%2) %3 %4")
                                 .arg(ender ? ender->nickname : QString(), by,
                                      LoadString(IDS_ACTIVITY_ENDED_BY), results));
    }
    m_room.Panes().SystemLine(heading, SUFFIX_NONE, true);

    QString winner;
    for (int i = 0; i < count; ++i) {
        const short key = static_cast<short>(ActivityEndedKey::FIRST_ENTRY + i);
        QString entry;
        if (packet.GetCString(key, entry) != 0) {
            // A count larger than the entries carried stops at the last one present.
            break;
        }
        const QString id = entry.section(QLatin1Char(','), 0, 0);
        const QString score = entry.section(QLatin1Char(','), 1);
        if (i == 0) {
            winner = id;
        }
        m_room.Panes().SystemLine(
            FillPlaceholders(LoadString(IDS_RANKING_LINE),
                             {QString::number(i + 1), RankedName(id), HtmlEscape(score)}),
            SUFFIX_NONE, true);
    }
    if (packet.BoolOr(ActivityEndedKey::MARK_WINNER, false) && !winner.isEmpty()) {
        if (UserInfo* member = m_room.Members().List().Find(winner)) {
            member->mark = LoadString(IDS_WINNER_MARK);
            member->markEndTime = CClock::Get().Now() + kMarkSeconds;
            m_room.Members().Redraw();
        }
    }
}
