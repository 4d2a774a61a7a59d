// Chat text between members: public and private lines, the forbidden texts, the public-text
// switch and the shortest interval between two lines.

#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "tests/support/PacketFields.h"
#include "tests/support/ServiceHarness.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

int Send(tagRoomGuest& who, CKParam&& p) {
    return Outcome(who.main.Request(p, CMD_TEXT_REPLY));
}

int Say(tagRoomGuest& who, const QString& target, const QString& text, bool isPrivate = false) {
    return Send(
        who,
        Packet(CMD_TEXT, {{20, target},
                          {30, QStringLiteral("<font>header</font><font>%1</font><br>").arg(text)},
                          {40, isPrivate ? 1 : 0},
                          {50, text}}));
}

// A public line whose markup holds other words than its text alone (key 50).
int SayLine(tagRoomGuest& who, const QString& line, const QString& text) {
    return Send(who, Packet(CMD_TEXT, {{30, line}, {40, 0}, {50, text}}));
}

struct ChatRoom {
    CServiceHarness h;
    std::unique_ptr<tagRoomGuest> alice = h.Enter(1001, "alice", "alice123", "M-A");
    std::unique_ptr<tagRoomGuest> bob = h.Enter(1001, "bob", "bob123", "M-B");
    std::unique_ptr<tagRoomGuest> carol = h.Enter(1001, "carol", "carol123", "M-C");
};

}  // namespace

TEST(RoomChat, PublicLinesReachEveryoneElseAndPrivateLinesOnlyTheirTarget) {
    ChatRoom r;
    ASSERT_TRUE(r.alice && r.bob && r.carol);
    EXPECT_EQ(Say(*r.alice, QString(), "大家好 <b>"), 0);
    ASSERT_TRUE(r.bob->main.WaitFor(CMD_TEXT_LINE));
    ASSERT_TRUE(r.carol->main.WaitFor(CMD_TEXT_LINE));
    EXPECT_TRUE(HasFields(
        r.bob->main.All(CMD_TEXT_LINE).front(),
        {{20, "alice"}, {30, "<font>header</font><font>大家好 <b></font><br>"}, {40, 0}}));
    // The sender shows its own line; the server does not echo it.
    EXPECT_EQ(r.alice->main.Count(CMD_TEXT_LINE), 0);

    r.h.Pass(std::chrono::seconds(2));
    EXPECT_EQ(Say(*r.bob, "alice", "悄悄话", true), 0);
    ASSERT_TRUE(r.alice->main.WaitFor(CMD_TEXT_LINE));
    EXPECT_TRUE(
        HasFields(r.alice->main.All(CMD_TEXT_LINE).front(), {{20, "bob"}, {21, "alice"}, {40, 1}}));
    Spin(std::chrono::milliseconds(50));
    EXPECT_EQ(r.carol->main.Count(CMD_TEXT_LINE), 1);

    // A private line to someone not in the room has nobody to go to.
    r.h.Pass(std::chrono::seconds(2));
    EXPECT_EQ(Say(*r.bob, "nobody", "喂", true), REFUSE_BAD_USER);
}

TEST(RoomChat, RefusesForbiddenTextsEmptyLinesAndLinesTooSoonAfterTheLast) {
    ChatRoom r;
    ASSERT_TRUE(r.alice && r.bob);
    EXPECT_EQ(Say(*r.bob, QString(), "免费广告点这里"), REFUSE_BAD_TEXT);
    EXPECT_EQ(Say(*r.bob, QString(), "buy SPAM now"), REFUSE_BAD_TEXT);
    // The members see the whole line: a word kept out of the text alone, split by markup or
    // written as character references is found there.
    for (const char* line : {"<font>免费广告</font>", "<font>广<b></b>告</font>",
                             "<font>&#24191;&#x544A;</font>", "<font>s<!-- -->p&#97;m</font>"}) {
        EXPECT_EQ(SayLine(*r.bob, QString::fromUtf8(line), "hello"), REFUSE_BAD_TEXT) << line;
    }
    // The limit counts the bytes on the wire: 5000 Chinese characters are 10000 of them.
    const QString wide(5000, QChar(0x597D));
    EXPECT_EQ(SayLine(*r.bob, QStringLiteral("<font>%1</font>").arg(wide), wide),
              REFUSE_BAD_PARAMETER);
    EXPECT_EQ(Send(*r.bob, Packet(CMD_TEXT, {{40, 0}})), REFUSE_BAD_PARAMETER);

    EXPECT_EQ(Say(*r.bob, QString(), QString(3900, QChar(0x597D))), 0);
    EXPECT_EQ(Say(*r.bob, QString(), "第二句"), REFUSE_FORBIDDEN);
    r.h.Pass(std::chrono::milliseconds(1000));
    EXPECT_EQ(Say(*r.bob, QString(), "第三句"), 0);
    Spin(std::chrono::milliseconds(50));
    // Only the accepted lines reached the room.
    EXPECT_EQ(r.alice->main.Count(CMD_TEXT_LINE), 2);
}

TEST(RoomChat, PublicTextOffLeavesOnlyManagersAndPrivateLines) {
    CServiceHarness h;
    // Room 1005 starts with public text off; dave owns it.
    auto dave = h.Enter(1005, "dave", "dave123", "M-D");
    auto visitor = h.Enter(1005, "学生", QString(), "M-V");
    ASSERT_TRUE(dave && visitor);
    EXPECT_EQ(Say(*visitor, QString(), "老师好"), REFUSE_FORBIDDEN);
    EXPECT_EQ(Say(*visitor, "dave", "老师好", true), 0);
    EXPECT_EQ(Say(*dave, QString(), "上课"), 0);
    ASSERT_TRUE(visitor->main.WaitFor(CMD_TEXT_LINE));

    // The owner switches public text on for everybody.
    EXPECT_EQ(RoomRequest(dave->main, Packet(CMD_PUBLIC_TEXT_CONTROL, {{20, 1}})), 0);
    ASSERT_TRUE(visitor->main.WaitFor(CMD_PUBLIC_TEXT_CHANGED));
    h.Pass(std::chrono::seconds(2));
    EXPECT_EQ(Say(*visitor, QString(), "老师好"), 0);
    EXPECT_TRUE(h.Service().Store().Room(1005)->publicText);
}
