#pragma once
// The scoring activity of a room: managers (rank 50 and up) start and end it; while it runs
// any registered member may put another member up for scoring, every other member present
// gives a score from 0 to 5, and the round ends when all have scored or its time is up. The
// round's average is announced; the end of the activity announces the ranking, best first,
// and marks the winner.

#include "server/RoomServer.h"

#include <map>

class CRoomActivity : public CRoomFeature {
public:
    enum : unsigned { TIMER_ROUND = 3 };
    // Scorers have 20 seconds on their dialog; the round waits a little longer for the last.
    static constexpr unsigned kRoundMs = 25000;
    static constexpr int kManagerRank = 50;
    static constexpr int kHighestScore = 5;

    explicit CRoomActivity(CRoomServer& server);

    void OnDeparture(CRoom& room, CRoomMember& member) override;
    void OnRoomTimer(CRoom& room, unsigned id) override;

private:
    struct tagRound {
        QString member;                 // who is scored; empty: no round under way
        std::map<QString, int> scores;  // scorer's key -> score
    };
    struct tagActivity {
        QString title;
        tagRound round;
        // The last average of every member scored, in order of scoring.
        std::vector<std::pair<QString, double>> results;
    };

    void OnActivity(tagRoomRequest& r);
    void OnScoreRequest(tagRoomRequest& r);
    void OnScoreSubmit(tagRoomRequest& r);
    // Announces the round's average and forgets the round.
    void EndRound(CRoom& room, tagActivity& activity);
    // Announces the ranking (by: who ended it, empty when the room has no manager left).
    void EndActivity(CRoom& room, const QString& by);
    // Members who may score in the round: everybody inside but the scored member.
    static int Scorers(const CRoom& room, const QString& scored);

    std::map<int, tagActivity> m_activities;  // by room number, while an activity runs
};
