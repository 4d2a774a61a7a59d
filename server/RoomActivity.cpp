#include "server/RoomActivity.h"

#include "protocol/Commands.h"
#include "protocol/keys/ScoringKeys.h"
#include "server/Packets.h"
#include "server/RoomChange.h"

#include <algorithm>

namespace {
constexpr int kLongestTitle = 100;
constexpr tagChangeRule kManagers{CRoomActivity::kManagerRank, REFUSE_VISITOR};
constexpr tagChangeRule kMembers{20, REFUSE_VISITOR};

QString Key(const QString& id) {
    return id.toLower();
}
}  // namespace

CRoomActivity::CRoomActivity(CRoomServer& server) : CRoomFeature(server) {
    CRoomRegistry& main = server.MainRequests();
    main.On(CMD_ACTIVITY, EStage::Entered, this, &CRoomActivity::OnActivity);
    main.On(CMD_SCORE_REQUEST, EStage::Entered, this, &CRoomActivity::OnScoreRequest);
    main.On(CMD_SCORE_SUBMIT, EStage::Entered, this, &CRoomActivity::OnScoreSubmit);
}

int CRoomActivity::Scorers(const CRoom& room, const QString& scored) {
    const auto& members = room.Members();
    return static_cast<int>(std::count_if(
        members.begin(), members.end(), [&](const auto& m) { return Key(m->id) != Key(scored); }));
}

void CRoomActivity::OnActivity(tagRoomRequest& r) {
    const bool on = r.packet.BoolOr(ActivityKey::ON, false);
    const QString title = r.packet.TextOr(ActivityKey::TITLE).left(kLongestTitle);
    const int number = r.room->Number();
    const auto change = [&]() -> int {
        // Starting what runs, or ending what does not, changes nothing.
        return on == (m_activities.count(number) != 0) ? REFUSE_BAD_OPERATION : 0;
    };
    const bool changed = AnnounceChange(r, kManagers, change, [&]() -> std::optional<CKParam> {
        if (!on) {
            return std::nullopt;
        }
        m_activities[number].title = title;
        CKParam organised = MakePacket(CMD_ACTIVITY_ORGANISED);
        organised.SetCString(ActivityOrganisedKey::BY, r.member->id);
        organised.SetBoolean(ActivityOrganisedKey::ON, true);
        organised.SetCString(ActivityOrganisedKey::TITLE, title);
        return organised;
    });
    if (changed && !on) {
        EndActivity(*r.room, r.member->id);
    }
}

void CRoomActivity::OnScoreRequest(tagRoomRequest& r) {
    const QString scored = r.packet.TextOr(ScoreRequestKey::MEMBER);
    const auto it = m_activities.find(r.room->Number());
    const auto change = [&]() -> int {
        if (it == m_activities.end() || !it->second.round.member.isEmpty()) {
            return REFUSE_BAD_OPERATION;
        }
        const CRoomMember* target = r.room->Find(scored);
        if (!target) {
            return REFUSE_BAD_USER;
        }
        it->second.round.member = target->id;
        it->second.round.scores.clear();
        return 0;
    };
    const bool started = AnnounceChange(r, kMembers, change, [&]() -> std::optional<CKParam> {
        CKParam round = MakePacket(CMD_SCORING_MEMBER);
        round.SetCString(ScoringMemberKey::BY, r.member->id);
        round.SetCString(ScoringMemberKey::MEMBER, it->second.round.member);
        return round;
    });
    if (started) {
        if (Scorers(*r.room, it->second.round.member) == 0) {
            EndRound(*r.room, it->second);
        } else {
            r.room->SetTimer(TIMER_ROUND, kRoundMs);
        }
    }
}

void CRoomActivity::OnScoreSubmit(tagRoomRequest& r) {
    const auto it = m_activities.find(r.room->Number());
    const QString scored = r.packet.TextOr(ScoreSubmitKey::MEMBER);
    const int score = r.packet.IntOr(ScoreSubmitKey::SCORE, -1);
    const auto change = [&]() -> int {
        if (it == m_activities.end() || it->second.round.member.isEmpty() ||
            Key(scored) != Key(it->second.round.member)) {
            return REFUSE_BAD_OPERATION;
        }
        // Nobody scores themselves, and everybody scores once.
        if (Key(r.member->id) == Key(scored) ||
            it->second.round.scores.count(Key(r.member->id)) != 0) {
            return REFUSE_FORBIDDEN;
        }
        if (score < 0 || score > kHighestScore) {
            return REFUSE_BAD_PARAMETER;
        }
        it->second.round.scores[Key(r.member->id)] = score;
        return 0;
    };
    if (AnnounceChange(r, kAnyoneInside, change, nullptr) &&
        static_cast<int>(it->second.round.scores.size()) >= Scorers(*r.room, scored)) {
        EndRound(*r.room, it->second);
    }
}

void CRoomActivity::EndRound(CRoom& room, tagActivity& activity) {
    room.KillTimer(TIMER_ROUND);
    tagRound round = std::move(activity.round);
    activity.round = tagRound();
    if (round.member.isEmpty()) {
        return;
    }
    double sum = 0;
    for (const auto& [scorer, score] : round.scores) {
        sum += score;
    }
    const int count = static_cast<int>(round.scores.size());
    const double average = count > 0 ? sum / count : 0.0;
    const auto known =
        std::find_if(activity.results.begin(), activity.results.end(),
                     [&](const auto& e) { return Key(e.first) == Key(round.member); });
    if (known != activity.results.end()) {
        known->second = average;
    } else {
        activity.results.emplace_back(round.member, average);
    }
    CKParam result = MakePacket(CMD_SCORING_RESULT);
    result.SetCString(ScoringResultKey::MEMBER, round.member);
    result.SetCString(ScoringResultKey::AVERAGE, QString::number(average, 'f', 2));
    result.SetInt(ScoringResultKey::COUNT, count);
    room.Broadcast(result);
}

void CRoomActivity::EndActivity(CRoom& room, const QString& by) {
    const auto it = m_activities.find(room.Number());
    if (it == m_activities.end()) {
        return;
    }
    tagActivity activity = std::move(it->second);
    m_activities.erase(it);
    room.KillTimer(TIMER_ROUND);
    // A stable sort keeps the member scored first ahead among equals.
    std::stable_sort(activity.results.begin(), activity.results.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    CKParam ended = MakePacket(CMD_ACTIVITY_ENDED);
    ended.SetCString(ActivityEndedKey::BY, by);
    ended.SetBoolean(ActivityEndedKey::MARK_WINNER, !activity.results.empty());
    ended.SetCString(ActivityEndedKey::TEXT_40, activity.title);
    ended.SetInt(ActivityEndedKey::COUNT, static_cast<int>(activity.results.size()));
    short key = ActivityEndedKey::FIRST_ENTRY;
    for (const auto& [id, average] : activity.results) {
        ended.SetCString(key++, id + QLatin1Char(',') + QString::number(average, 'f', 2));
    }
    room.Broadcast(ended);
}

void CRoomActivity::OnDeparture(CRoom& room, CRoomMember& member) {
    const auto it = m_activities.find(room.Number());
    if (it == m_activities.end()) {
        return;
    }
    if (room.Count() == 0) {
        room.KillTimer(TIMER_ROUND);
        m_activities.erase(it);
        return;
    }
    const auto& members = room.Members();
    const bool managed = std::any_of(members.begin(), members.end(),
                                     [](const auto& m) { return m->rank >= kManagerRank; });
    if (!managed) {
        EndActivity(room, QString());
        return;
    }
    tagRound& round = it->second.round;
    if (!round.member.isEmpty() &&
        (Key(round.member) == Key(member.id) ||
         static_cast<int>(round.scores.size()) >= Scorers(room, round.member))) {
        EndRound(room, it->second);
    }
}

void CRoomActivity::OnRoomTimer(CRoom& room, unsigned id) {
    if (id != TIMER_ROUND) {
        return;
    }
    const auto it = m_activities.find(room.Number());
    if (it != m_activities.end()) {
        EndRound(room, it->second);
    } else {
        room.KillTimer(TIMER_ROUND);
    }
}
