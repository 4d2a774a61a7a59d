// The scoring activity on the client: the local refusals of a round, the activity dialog's
// request, the scoring dialog that runs down to the checked score, and the result and
// ranking lines with the winner's mark.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/RoomMembers.h"
#include "room/RoomScoring.h"
#include "room/ScoringDialogs.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

void EnterOwner(CRoomFixture& f) {
    f.server.members = QStringList{MemberText(QStringLiteral("me"), QStringLiteral("我"), 60),
                                   MemberText(QStringLiteral("amy"), QStringLiteral("艾米"), 20),
                                   MemberText(QStringLiteral("bob"), QStringLiteral("鲍勃"), 20)};
    f.server.settings = {{350, 150}};
    ASSERT_TRUE(f.Enter());
}

void Activity(CRoomFixture& f, bool on) {
    f.Deliver(Packet(CMD_ACTIVITY_ORGANISED, {{20, "me"}, {30, on}, {40, "歌会"}}));
}

}  // namespace

TEST(RoomScoring, ARoundIsRefusedUntilAllowedThenTheDialogRunsDownAndTheResultsNameTheMembers) {
    CRoomFixture f;
    EnterOwner(f);
    CRoomScoring& scoring = f.Room().Scoring();

    // The dialog closed with the switch as it was sends nothing; the cost line is shown.
    f.ui.dialogs.Script(CEventDlg::IDD, [](CDialogModel& d) {
        EXPECT_EQ(static_cast<CEventDlg&>(d).CostLine(),
                  QStringLiteral("(每次打分收取操作人1.50塔沃币)"));
        d.OnOK();
    });
    EXPECT_EQ(scoring.ToggleActivity(), -1);

    scoring.SetTarget(QStringLiteral("amy"));
    EXPECT_EQ(scoring.RequestScore(), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("请先启动活动")));
    Activity(f, true);
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("我(me) 组织了一个活动('歌会')")));
    ASSERT_EQ(scoring.RequestScore(), 0);
    // The request carries no pending flag: the round under way is what refuses a second one,
    // until its result comes, even after the request's reply.
    f.ui.dialogs.Script(CMarkScoreDlg::IDD, [](CDialogModel& d) { d.OnCancel(); });
    f.Deliver(Announcement(CMD_SCORING_MEMBER, {QStringLiteral("me"), QStringLiteral("amy")}));
    EXPECT_EQ(scoring.RequestScore(), -1);
    EXPECT_TRUE(f.privateView.Has(QStringLiteral("当前正在打分,请等打分结果返回后再发起新的打分")));
    const auto sent = f.SentMain(CMD_SCORE_REQUEST);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(HasFields(sent[0], {{20, "amy"}, {102, 7001}}));
    // A cancelled score is not sent.
    EXPECT_TRUE(f.SentMain(CMD_SCORE_SUBMIT).empty());

    // The member scored is not asked.
    f.Deliver(Announcement(CMD_SCORING_MEMBER, {QStringLiteral("amy"), QStringLiteral("me")}));
    EXPECT_EQ(f.ui.dialogs.Count(CMarkScoreDlg::IDD), 1);  // the one cancelled above

    int leftAt19 = -1;
    f.ui.dialogs.Script(CMarkScoreDlg::IDD, [&](CDialogModel& d) {
        auto& mark = static_cast<CMarkScoreDlg&>(d);
        EXPECT_EQ(mark.Prompt(), QStringLiteral("艾米(amy) 提示您给 鲍勃(bob) 打分"));
        mark.ChooseScore(4);
        f.clock.Advance(19000);
        leftAt19 = mark.SecondsLeft();
        EXPECT_TRUE(mark.IsOpen());
        f.clock.Advance(1000);
    });
    f.Deliver(Announcement(CMD_SCORING_MEMBER, {QStringLiteral("amy"), QStringLiteral("bob")}));
    EXPECT_EQ(leftAt19, 1);
    const auto score = f.SentMain(CMD_SCORE_SUBMIT);
    ASSERT_EQ(score.size(), 1u);
    EXPECT_TRUE(HasFields(score[0], {{20, "bob"}, {30, 4}}));

    // The result ends the round; the ranking names the members and marks the winner.
    ASSERT_TRUE(f.Room().Scoring().ScoringUnderWay());
    f.Deliver(Packet(CMD_SCORING_RESULT, {{20, "bob"}, {30, "4.50"}, {40, 2}}));
    EXPECT_TRUE(f.publicView.Has(
        QStringLiteral("本次打分结果: 鲍勃(bob) 平均得分: 4.50(共有2人参与打分)")));
    EXPECT_FALSE(f.Room().Scoring().ScoringUnderWay());

    // Three entries announced, two carried: the ranking stops at the last one present.
    f.Deliver(Packet(CMD_ACTIVITY_ENDED,
                     {{20, "me"}, {30, true}, {50, 3}, {60, "bob,4.50"}, {61, "gone,3.00"}}));
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("我(me) 结束了本次活动. 本次活动结果如下:")));
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("第1名: 鲍勃(bob)         得分:4.50")));
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("第2名: 此人已离开房间(gone)         得分:3.00")));
    EXPECT_FALSE(f.publicView.Has(QStringLiteral("第3名")));
    const UserInfo* bob = f.Room().Members().Find(QStringLiteral("bob"));
    ASSERT_NE(bob, nullptr);
    EXPECT_FALSE(bob->ShownMark(f.clock.Now()).isEmpty());
    EXPECT_EQ(bob->markEndTime, f.clock.Now() + CRoomScoring::kMarkSeconds);
    EXPECT_TRUE(bob->ShownMark(bob->markEndTime).isEmpty());
    EXPECT_FALSE(f.Room().Scoring().ActivityRunning());

    // Without an owner and without entries: the heading alone.
    f.Deliver(Announcement(CMD_ACTIVITY_ENDED, {QString()}));
    EXPECT_TRUE(f.publicView.Has(QStringLiteral("因为房间没有房主,本次活动结束.")));
    EXPECT_EQ(f.publicView.Count(QStringLiteral("本次活动结果如下:")), 1);
}
