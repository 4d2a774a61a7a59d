// Members and ranks: filing the member list by rank code, arrival and departure lines with the
// 21-member rule and hidden members, entry pictures, rank changes and the side list.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "room/ChatText.h"
#include "room/MicOrder.h"
#include "room/RoomMembers.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

QStringList Ids(const std::list<UserInfo>& list) {
    QStringList ids;
    for (const auto& m : list) {
        ids << m.id;
    }
    return ids;
}

void Arrive(CRoomFixture& f, const QString& id, const QString& nick, int rank = 20,
            bool registered = true, tagFields more = {}) {
    CKParam p = Packet(CMD_ARRIVAL, {{20, id}, {30, nick}, {40, rank}, {50, registered}});
    SetFields(p, more);
    f.Deliver(std::move(p));
}

void Depart(CRoomFixture& f, const QString& id) {
    f.Deliver(Packet(CMD_DEPARTURE, {{20, id}}));
}

void LoadList(CRoomFixture& f, const QStringList& texts) {
    CKParam reply;
    reply.SetShortInt(KEY_COMMAND, CMD_MEMBER_LIST_REPLY);
    reply.SetInt(30, static_cast<int>(texts.size()));
    for (int i = 0; i < texts.size(); ++i) {
        reply.SetCString(static_cast<short>(31 + i), texts[i]);
    }
    f.Room().Members().LoadMemberList(reply);
}

}  // namespace

TEST(RoomMembers, TheMemberListIsFiledByRankAndFlagBAndLeavesOutHiddenMembers) {
    CRoomFixture f;
    f.OpenOffline();
    QString shortText = MemberText("short", "少", 20);
    shortText.truncate(shortText.lastIndexOf(','));  // 22 fields
    LoadList(f, {MemberText("boss", "房主", 60), MemberText("op", "管理", 30),
                 MemberText("m1", "甲", 20), MemberText("b1", "乙", 20, true, true),
                 MemberText("v1", "游客", 10, false), shortText,
                 MemberText("b2", "丙", 20, true, true), MemberText("r80", "高", 80)});
    const CMemberList& list = f.Room().Members().List();
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(list.Find("short"), nullptr);
    EXPECT_EQ(Ids(list.List(CMemberList::OWNER)), QStringList({"boss"}));
    EXPECT_EQ(Ids(list.List(CMemberList::LIST_30)), QStringList({"op"}));
    EXPECT_EQ(Ids(list.List(CMemberList::LIST_80)), QStringList({"r80"}));
    EXPECT_EQ(Ids(list.List(CMemberList::GENERAL_1)), QStringList({"v1"}));
    EXPECT_EQ(f.roomView.countText, "7人");

    // In general list 2, members with flag B come first, each kind in arrival order.
    Arrive(f, "b3", "丁", 20, true, {{60, true}});
    QStringList order;
    list.ForEach([&](const UserInfo& m) {
        if (m.rank == 20 && m.registered) {
            order << m.id;
        }
    });
    EXPECT_EQ(order, QStringList({"b1", "b2", "b3", "m1"}));

    // A second member with the owner's rank joins the first; neither is lost.
    Arrive(f, "boss2", "新房主", 60);
    EXPECT_EQ(Ids(list.List(CMemberList::OWNER)), QStringList({"boss", "boss2"}));
    ASSERT_NE(list.Find("boss"), nullptr);
    Depart(f, "boss2");
    EXPECT_EQ(Ids(list.List(CMemberList::OWNER)), QStringList({"boss"}));

    // A member whose seventh field is zero is found but not listed.
    QStringList hidden = MemberText("ghost", "幽灵", 30).split(',');
    hidden[6] = "0";
    LoadList(f, {MemberText("amy", "艾米", 20), hidden.join(','), MemberText("bob", "鲍勃", 20)});
    // Announcements still name it; the list view neither shows nor counts it.
    ASSERT_NE(list.Find("ghost"), nullptr);
    EXPECT_EQ(f.Room().Members().DisplayName("ghost"), "幽灵");
    EXPECT_FALSE(list.IsListed("ghost"));
    EXPECT_TRUE(list.List(CMemberList::LIST_30).empty());
    QStringList shown;
    list.ForEach([&](const UserInfo& m) { shown << m.id; });
    EXPECT_EQ(shown, QStringList({"amy", "bob"}));
    EXPECT_EQ(f.roomView.countText, "2人");
    // A rank change keeps it out; an arrival lists it.
    f.Deliver(Packet(CMD_RANK_CHANGED, {{20, "ghost"}, {30, 0}, {40, "amy"}}));
    EXPECT_FALSE(list.IsListed("ghost"));
    EXPECT_EQ(list.Count(), 2);
    Arrive(f, "ghost", "幽灵", 20);
    EXPECT_TRUE(list.IsListed("ghost"));
    EXPECT_EQ(list.Count(), 3);
}

TEST(RoomMembers, ArrivalsAndDeparturesAreAnnouncedInSmallRoomsOnlyAndTheLeavingAreForgotten) {
    CRoomFixture f;
    f.OpenOffline();
    QStringList texts;
    for (int i = 0; i < 19; ++i) {
        texts << MemberText(QStringLiteral("u%1").arg(i), QStringLiteral("用户%1").arg(i), 20);
    }
    LoadList(f, texts);
    Arrive(f, "a20", "二十");
    EXPECT_TRUE(f.publicView.Has("系统消息: 二十 进入房间"));
    Arrive(f, "a21", "廿一");
    EXPECT_FALSE(f.publicView.Has("廿一"));
    // An entry text is shown whatever the size, unless the member is hidden.
    Arrive(f, "a22", "廿二", 20, true, {{80, "$某某人$驾到$某某房间$"}});
    EXPECT_TRUE(f.publicView.Has("廿二驾到"));
    Arrive(f, "ghost", "幽灵", 20, true, {{120, true}, {80, "幽灵来了"}});
    EXPECT_FALSE(f.publicView.Has("幽灵"));

    // Departures: no line while 21 or more remain; one once fewer do.
    Depart(f, "a22");
    EXPECT_FALSE(f.privateView.Has("廿二 离开房间"));
    for (const char* id : {"u0", "u1", "u2"}) {
        Depart(f, id);
    }
    EXPECT_TRUE(f.privateView.Has("用户2 离开房间"));
    Depart(f, "ghost");
    EXPECT_FALSE(f.privateView.Has("幽灵"));

    // Someone unknown leaving changes nothing but the redraw.
    const int before = f.Room().Members().List().Count();
    const int redraws = f.roomView.redraws;
    Depart(f, "nobody");
    EXPECT_EQ(f.Room().Members().List().Count(), before);
    EXPECT_EQ(f.roomView.redraws, redraws + 1);

    // A leaving chat target and queue member are forgotten.
    Arrive(f, "amy", "艾米");
    f.Room().Chat().SetTarget("amy");
    EXPECT_EQ(f.roomView.targetLabel, "你对 艾米 说:");
    f.Deliver(Packet(CMD_MIC_MODE_CHANGED, {{30, 1}}));
    f.Deliver(Packet(CMD_QUEUE_JOINED, {{20, "amy"}}));
    EXPECT_EQ(f.roomView.queue, QStringList({"amy"}));
    Depart(f, "amy");
    EXPECT_EQ(f.roomView.targetLabel, "你对 所有人 说:");
    EXPECT_TRUE(f.Room().Chat().Target().isEmpty());
    EXPECT_TRUE(f.roomView.queue.isEmpty());
}

TEST(RoomMembers, ArrivalsReadBeforeTheMemberListLoadsAreKeptAndDeparturesStayGone) {
    // The service answers the list and at once announces a newcomer and a departure; the
    // client may read all three before the list's fetch hands the reply over.
    CRoomFixture f;
    f.server.main.Answer(CMD_MEMBER_LIST, [&](CTestConnection& peer, CKParam&) {
        CKParam reply = Reply(CMD_MEMBER_LIST_REPLY);
        SetFields(reply, {{30, 2}, {31, f.server.members[0]}, {32, f.server.members[1]}});
        peer.KSend(reply);
        peer.Send(Packet(CMD_ARRIVAL, {{20, "bo"}, {30, "波"}, {40, 20}, {50, true}}));
        peer.Send(Packet(CMD_DEPARTURE, {{20, "amy"}}));
    });
    ASSERT_TRUE(f.Enter(1001));
    const CMemberList& list = f.Room().Members().List();
    EXPECT_NE(list.Find("bo"), nullptr);
    EXPECT_EQ(list.Find("amy"), nullptr);
    EXPECT_EQ(list.Count(), 2);
}

TEST(RoomMembers, RankChangesRefileTheMemberAndNameTheActorAndTheSideListPads) {
    CRoomFixture f;
    f.OpenOffline();
    LoadList(f, {MemberText("boss", "房主", 60), MemberText("amy", "艾米", 20),
                 MemberText("vic", "游", 10, false)});
    auto change = [&](const QString& id, int what, const QString& by) {
        f.Deliver(Packet(CMD_RANK_CHANGED, {{20, id}, {30, what}, {40, by}}));
    };
    const CMemberList& list = f.Room().Members().List();
    auto in = [&](CMemberList::EList which) { return Ids(list.List(which)); };
    change("amy", 1, "boss");
    EXPECT_TRUE(in(CMemberList::LIST_30).contains("amy"));
    EXPECT_TRUE(f.privateView.Has("艾米(amy) 被 房主(boss) 提升为OP"));
    change("amy", 10, "");
    EXPECT_EQ(list.Find("amy")->seniorOperator, 1);
    EXPECT_TRUE(f.privateView.Has("艾米(amy) 被 后台管理员 提升为高级OP"));
    change("amy", 0, "boss");
    EXPECT_TRUE(in(CMemberList::GENERAL_2).contains("amy"));
    EXPECT_EQ(list.Find("amy")->rank, 20);
    EXPECT_EQ(list.Find("amy")->seniorOperator, 0);
    change("vic", 1, "boss");
    change("vic", 0, "boss");
    EXPECT_TRUE(in(CMemberList::GENERAL_1).contains("vic"));
    EXPECT_EQ(list.Find("vic")->rank, 10);
    // An actor who left is an empty name.
    change("amy", 1, "gone");
    EXPECT_TRUE(f.privateView.Has("艾米(amy) 被  提升为OP"));

    // The side list pads the nicknames it knows and leaves out the ones it does not.
    f.Deliver(Packet(CMD_SIDE_LIST, {{20, 3}, {100, "amy"}, {101, "nobody"}, {102, "vic"}}));
    EXPECT_EQ(f.roomView.sideList, QStringList({"艾米          [amy]", "游           [vic]"}));
}

TEST(RoomMembers, EditionsWithEntryPicturesAnnounceThem) {
    CRoomFixture f;
    f.app.edition = EDITION_50;
    f.OpenOffline();
    f.Room().Options().enter.count = 3;
    f.Room().Options().enter.descriptions = QStringList({"单车", "汽车", "飞机"});
    Arrive(f, "amy", "艾米", 20, true, {{230, 2}});
    EXPECT_TRUE(
        f.publicView.Has("艾米(amy) 开着汽车光临本房间!<img src=\"/opt/tavo/img/enter/02.gif\" "
                         "width=\"50\" height=\"50\">"));
    // An absent time reads as now in these editions.
    EXPECT_EQ(f.Room().Members().Find("amy")->time280, f.clock.Now());
}
