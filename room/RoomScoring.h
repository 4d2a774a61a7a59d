#pragma once
// The scoring activity: an owner starts or ends an activity, a member is put up for scoring,
// every other member present gives a score from 0 to 5 within 20 seconds, the room hears the
// average, and at the end the ranking with the winner's mark. The activity and the round are
// the room's state as the announcements tell it; requests go without a pending flag because
// that state already says whether one may be made.

#include "room/RoomFeature.h"

#include <QString>

class CKParam;
class CRoomDlg;

class CRoomScoring : public IRoomFeature {
public:
    // How long the winner's mark stays.
    static constexpr int64_t kMarkSeconds = 86400;

    explicit CRoomScoring(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;
    void OnSettings(const tagRoomSettings& settings) override;

    // Request 900 through the activity dialog; 0 when it went out.
    int ToggleActivity();
    // Request 930 for the member chosen last; 0 when it went out.
    int RequestScore();
    // The member the member menu was opened on.
    void SetTarget(const QString& id) { m_target = id; }
    QString Target() const { return m_target; }

    bool ActivityRunning() const { return m_activity; }
    bool ScoringUnderWay() const { return m_scoring; }

    void OnActivityOrganised(CKParam& packet);
    void OnScoringMember(CKParam& packet);
    void OnScoringResult(CKParam& packet);
    void OnActivityEnded(CKParam& packet);

private:
    // "nickname(identifier)", or "此人已离开房间(identifier)" for a member who left.
    QString RankedName(const QString& id) const;

    CRoomDlg& m_room;
    bool m_activity = false;
    bool m_scoring = false;
    QString m_target;
    int m_cost = 0;
};
