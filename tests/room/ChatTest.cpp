// Chat text: the lines as they travel and as both screens show them, byte for byte; faces,
// escaping, the forbidden texts, the public-text switch, what receiving filters out, whose
// name a received line shows, and the chat target across stays.

#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"
#include "protocol/keys/ChatKeys.h"
#include "room/ChatFormat.h"
#include "room/ChatText.h"
#include "room/RoomMembers.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

const QString kStyle = "<font  style=\"font-family:'宋体';font-size:10pt;color:#000000;\">";
// A member's name part with the name font's attribute text as written.
QString Name(const QString& font, const QString& id, const QString& nickname) {
    return QStringLiteral(
               "<font %1><a id=\"talkobject\" tavoid=\"%2\" tavoname=\"%3\" href=\"\" "
               "style=\"text-decoration:none\">%3</a></font>")
        .arg(font, id, nickname);
}
const QString kMe = Name("color=#0000ff", "me", "我");
const QString kAmy = Name("color=#0000ff", "amy", "艾米");

// The same parts as a receiver shows them: every tag of the sender's written anew.
const QString kStyleShown = "<font style=\"font-family:'宋体';font-size:10pt;color:#000000;\">";
const QString kMeShown = Name("color=\"#0000ff\"", "me", "我");
const QString kAmyShown = Name("color=\"#0000ff\"", "amy", "艾米");

CKParam LastText(CRoomFixture& f, int n) {
    EXPECT_TRUE(f.server.main.WaitFor(CMD_TEXT, n));
    CKParam p = f.server.main.Received(CMD_TEXT).at(static_cast<size_t>(n - 1)).Loaded();
    return p;
}

void Receive(CRoomFixture& f, const QString& from, const QString& to, const QString& line,
             int priv) {
    f.Deliver(Packet(CMD_TEXT_LINE, {{20, from}, {21, to}, {30, line}, {40, priv}}));
}

}  // namespace

TEST(ChatText, PublicAndPrivateLinesTravelAndReadRightOnBothScreens) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    ASSERT_EQ(f.Room().Chat().SendText("你好"), 0);
    const QString line = kMe + "说:" + kStyle + "你好</font><br>";
    EXPECT_TRUE(HasFields(LastText(f, 1), {{20, ""}, {30, line}, {40, 0}, {50, "你好"}}));
    EXPECT_EQ(f.publicView.fragments.last(), line);

    // Another member's line is shown as it came, its tags written anew.
    Receive(f, "amy", "", kAmy + "说:" + kStyle + "嗨</font><br>", 0);
    EXPECT_EQ(f.publicView.fragments.last(), kAmyShown + "说:" + kStyleShown + "嗨</font><br>");

    // A private line.
    f.clock.Advance(2000);
    f.Room().Chat().SetTarget("amy");
    ASSERT_EQ(f.Room().Chat().SendText("悄悄话"), 0);
    const QString wire = kMe + "悄悄地对你说:" + kStyle + "悄悄话</font><br>";
    EXPECT_TRUE(HasFields(LastText(f, 2), {{20, "amy"}, {30, wire}, {40, 1}}));
    // The sender's screen, in the private view.
    EXPECT_EQ(f.privateView.fragments.last(),
              "你悄悄地对" + kAmy + "说:" + kStyle + "悄悄话</font><br>");
    // The target's screen shows what travelled.
    const QString shown = kMeShown + "悄悄地对你说:" + kStyleShown + "悄悄话</font><br>";
    Receive(f, "me", "amy", wire, 1);
    EXPECT_EQ(f.privateView.fragments.last(), shown);

    // Edition 70 names the sender where the whisper was and tags the name.
    f.app.edition = EDITION_70;
    Receive(f, "me", "amy", wire, 1);
    EXPECT_EQ(
        f.privateView.fragments.last(),
        kMeShown + "(me)<font color=0000ff>(me)</font>对你说:" + kStyleShown + "悄悄话</font><br>");
    // Edition 50 drops the word.
    f.app.edition = EDITION_50;
    Receive(f, "me", "amy", wire, 1);
    EXPECT_EQ(f.privateView.fragments.last(),
              kMeShown + "(me)对你说:" + kStyleShown + "悄悄话</font><br>");

    // With the private panel hidden, private lines land in the public view.
    f.app.edition = EDITION_20;
    f.Room().Chat().MergeViews();
    EXPECT_EQ(f.publicView.page, "big_pub.htm");
    Receive(f, "me", "amy", wire, 1);
    EXPECT_EQ(f.publicView.fragments.last(), shown);
}

// The face time comes from the user's own record in the member list the room fetched at entry,
// in the default edition too.
TEST(ChatText, FacesAngleBracketsAndTheirLimits) {
    CRoomFixture f;
    ASSERT_EQ(f.app.edition, EDITION_20);
    // The whole record, 33 fields, field 28 the face end time.
    f.server.members[0] = MemberText("me", "我", 20) + QString(",0").repeated(4) + ',' +
                          QString::number(f.clock.Now() + 3600) + QString(",0").repeated(5);
    ASSERT_TRUE(f.Enter());
    f.Room().Options().faceCount = 10;
    CChatText& chat = f.Room().Chat();

    // The input box takes three faces.
    QString input;
    EXPECT_TRUE(chat.InsertFace(input, 1));
    EXPECT_TRUE(chat.InsertFace(input, 2));
    EXPECT_TRUE(chat.InsertFace(input, 3));
    EXPECT_FALSE(chat.InsertFace(input, 4));
    EXPECT_EQ(input, "|#01|#02|#03");
    EXPECT_TRUE(f.privateView.Has("最多只能添加3个表情"));

    // Typed by hand, the fourth face shows as plain digits.
    ASSERT_EQ(chat.SendText("|#01|#02|#03|#04"), 0);
    EXPECT_EQ(LastText(f, 1).TextOr(50),
              "<IMG src=\"/opt/tavo/img/face/01.gif\"><IMG src=\"/opt/tavo/img/face/02.gif\">"
              "<IMG src=\"/opt/tavo/img/face/03.gif\">04");

    // A face the set does not have stays text with a broken marker.
    f.clock.Advance(2000);
    ASSERT_EQ(chat.SendText("看|#12"), 0);
    EXPECT_EQ(LastText(f, 2).TextOr(50), "看| #12");

    // Angle brackets travel escaped and show as typed.
    f.clock.Advance(2000);
    ASSERT_EQ(chat.SendText("a<b>c"), 0);
    CKParam sent = LastText(f, 3);
    EXPECT_EQ(sent.TextOr(50), "a&lt;b&gt;c");
    EXPECT_TRUE(sent.TextOr(30).contains(kStyle + "a&lt;b&gt;c</font><br>"));
    EXPECT_TRUE(f.publicView.fragments.last().endsWith("a&lt;b&gt;c</font><br>"));

    // Without the face time, faces are not pictures.
    f.Room().Members().List().Find("me")->time280 = 0;
    f.clock.Advance(2000);
    ASSERT_EQ(chat.SendText("|#01"), 0);
    EXPECT_EQ(LastText(f, 4).TextOr(50), "| #01");
}

TEST(ChatText, TheSenderRefusesWhatTheRoomForbids) {
    CForbiddenText::Get().ResetForTests();
    CRoomFixture f;
    f.server.settings = {{120, false}, {290, "管理员"}, {300, "坏词,<b>"}};
    ASSERT_TRUE(f.Enter());
    CChatText& chat = f.Room().Chat();
    EXPECT_EQ(chat.SendText(QString()), -1);
    EXPECT_TRUE(f.privateView.Has("不能发空消息!"));
    f.clock.Advance(2000);
    EXPECT_EQ(chat.SendText("这是坏词"), -1);
    EXPECT_TRUE(f.privateView.Has("打字内容不能包含字符:坏词"));
    f.clock.Advance(2000);
    EXPECT_EQ(chat.SendText("好"), -1);
    EXPECT_TRUE(f.privateView.Has("此房暂时不允许公聊!"));
    // Private text is not public text.
    f.Room().Chat().SetTarget("amy");
    f.clock.Advance(2000);
    EXPECT_EQ(chat.SendText("好"), 0);
    // Typing forbidden by a manager is the administration tests' (the announcement sets it).
    ASSERT_TRUE(f.server.main.WaitFor(CMD_TEXT, 1));
    tavotest::Spin(std::chrono::milliseconds(30));
    EXPECT_EQ(f.server.main.Received(CMD_TEXT).size(), 1u);

    // The dialogs' check shows the hit with full-width brackets; the lists are filled once.
    EXPECT_FALSE(CForbiddenText::Get().Check("x<B>y", CForbiddenText::TEXTS));
    EXPECT_TRUE(f.ui.prompt.Saw("请重新输入,不能包含字符: ＜b＞"));
    EXPECT_EQ(CForbiddenText::Get().Find("超级管理员", CForbiddenText::NICKNAMES), "管理员");
    EXPECT_EQ(CForbiddenText::Get().Find("超级管理员", CForbiddenText::TEXTS), "");
    CForbiddenText::Get().Fill("别的", "别的");
    EXPECT_EQ(CForbiddenText::Get().Find("别的", CForbiddenText::BOTH), "");
    CForbiddenText::Get().ResetForTests();
}

TEST(ChatText, ReceivingFiltersMembersAndWhatLinesMustNotCarry) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    CChatText& chat = f.Room().Chat();
    f.Room().Options().faceCount = 10;

    // Faces of others are converted; what would run is taken out (the sanitizer's own cases
    // hold the rest).
    Receive(f, "amy", "", kAmy + "说:<font>|#05<script>steal()</script></font><br>", 0);
    const QString shown = f.publicView.fragments.last();
    EXPECT_TRUE(shown.startsWith(kAmyShown + "说:<font><IMG src=\"/opt/tavo/img/face/05.gif\">"))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains("steal")) << shown.toStdString();

    // Blocked members and, when asked, members below operator rank are not shown.
    chat.SetBlocked("amy", true);
    EXPECT_TRUE(f.privateView.Has("已屏蔽该用户的信息!"));
    const int lines = static_cast<int>(f.publicView.fragments.size());
    Receive(f, "amy", "", "被屏蔽", 0);
    EXPECT_EQ(f.publicView.fragments.size(), lines);
    chat.SetBlocked("amy", false);
    chat.SetHideBelowOperator(true);
    Receive(f, "amy", "", "级别不够", 0);
    EXPECT_FALSE(f.publicView.Has("级别不够"));
    chat.SetHideBelowOperator(false);
    Receive(f, "amy", "", "又能看见", 0);
    EXPECT_TRUE(f.publicView.Has("又能看见"));

    // A page without a cell takes nothing.
    f.publicView.hasTd = false;
    Receive(f, "amy", "", "无处可放", 0);
    EXPECT_FALSE(f.publicView.Has("无处可放"));

    // Text notices reach the notice display, cleaned the same way.
    f.Deliver(Packet(CMD_TEXT_NOTICE, {{20, "<b>公告</b><script>x()</script>"}}));
    EXPECT_EQ(f.roomView.textNotices, QStringList({"<b>公告</b>"}));
}

// The header of a line sent: the time when the room says so, the own stamp before the name when
// the service has stamps; a receiver adds a stamp a line lacks, once.
TEST(ChatText, HeadersCarryTheTimeWhenAskedAndStampsOnce) {
    CRoomFixture f;
    f.server.settings = {{180, true}};
    f.app.settings.switches["ENABLE_STAMP_SEAL"] = "1";
    ASSERT_TRUE(f.Enter());
    f.Room().Members().List().Find("amy")->stamp = 7;
    f.Room().Members().List().Find("me")->stamp = 3;
    const QString amyStamp = "<img border=0 src=\"/opt/tavo/img/stamp/7.bmp\">";
    ASSERT_EQ(f.Room().Chat().SendText("盖章了"), 0);
    const QString line = LastText(f, 1).TextOr(30);
    EXPECT_TRUE(line.startsWith("<img border=0 src=\"/opt/tavo/img/stamp/3.bmp\">" + kMe))
        << line.toStdString();
    EXPECT_TRUE(
        QRegularExpression("</a></font>说\\(\\d\\d:\\d\\d:\\d\\d\\):<font").match(line).hasMatch())
        << line.toStdString();
    const QString bare = kAmy + "说:" + kStyle + "嗨</font><br>";
    const QString shown = kAmyShown + "说:" + kStyleShown + "嗨</font><br>";
    Receive(f, "amy", "", bare, 0);
    EXPECT_EQ(f.publicView.fragments.last(), amyStamp + shown);
    Receive(f, "amy", "", amyStamp + bare, 0);
    EXPECT_EQ(f.publicView.fragments.last(),
              "<img border=\"0\" src=\"/opt/tavo/img/stamp/7.bmp\">" + shown);
}

TEST(ChatText, UnknownCommandsAndMissingKeysDoNoHarm) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    const int lines =
        static_cast<int>(f.publicView.fragments.size() + f.privateView.fragments.size());
    f.Deliver(Packet(31999));
    f.Deliver(Packet(CMD_TEXT_LINE));
    f.Deliver(Packet(CMD_ARRIVAL));
    f.Deliver(Packet(CMD_MIC_QUEUE_REPLY));
    f.Deliver(CKParam());
    EXPECT_EQ(static_cast<int>(f.publicView.fragments.size() + f.privateView.fragments.size()),
              lines);
    EXPECT_EQ(f.Room().Members().List().Count(), 2);
    EXPECT_TRUE(f.Room().IsWindow());
}

TEST(ChatText, ALineShowsTheSenderThePacketNamesWhateverItsMarkupClaims) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter());
    // Amy's client writes lines that claim to come from me; the service names Amy.
    auto fromAmy = [&](const QString& line, int priv) {
        const qsizetype before = f.publicView.fragments.size() + f.privateView.fragments.size();
        f.server.SendMain(Packet(CMD_TEXT_LINE, {{TextLineKey::SENDER, "amy"},
                                                 {TextLineKey::TARGET, priv ? "me" : QString()},
                                                 {TextLineKey::LINE, line},
                                                 {TextLineKey::PRIVATE, priv}}));
        EXPECT_TRUE(WaitUntil([&] {
            return f.publicView.fragments.size() + f.privateView.fragments.size() > before;
        }));
        return priv ? f.privateView.fragments.last() : f.publicView.fragments.last();
    };
    // Amy's name as this client writes it, from the member list.
    const QString amyName = kAmy;

    // A name link first: it names Amy, in the line's own font.
    EXPECT_EQ(fromAmy(kMe + "说:" + kStyle + "我是我</font><br>", 0),
              kAmyShown + "说:" + kStyleShown + "我是我</font><br>");
    // A name written as plain text: Amy's name goes before it.
    EXPECT_EQ(fromAmy("<font color=#0000ff>我</font>说:hi<br>", 0),
              amyName + "说:<font color=\"#0000ff\">我</font>说:hi<br>");
    // A name link after some text is no name: it shows as text, after Amy's name.
    const QString late = fromAmy("<font>&nbsp;</font>x" + kMe + "说:hi", 0);
    EXPECT_TRUE(late.startsWith(amyName + "说:")) << late.toStdString();
    EXPECT_FALSE(late.contains("tavoid=\"me\"")) << late.toStdString();
    // Private lines are whispered by Amy, too.
    EXPECT_EQ(fromAmy("悄悄话", 1), amyName + "悄悄地对你说:悄悄话");
    // A line that names nobody is not shown.
    const qsizetype shown = f.publicView.fragments.size();
    f.Deliver(
        Packet(CMD_TEXT_LINE, {{TextLineKey::LINE, kMe + "说:无名"}, {TextLineKey::PRIVATE, 0}}));
    EXPECT_EQ(f.publicView.fragments.size(), shown);
}

TEST(ChatText, AnotherStayStartsWithTheLinesAndTheLabelForEverybody) {
    CRoomFixture f;
    ASSERT_TRUE(f.Enter(1234));
    f.Room().Chat().SetTarget("amy");
    EXPECT_EQ(f.roomView.targetLabel, "你对 艾米 说:");
    f.Room().Close(IDCANCEL);
    ASSERT_FALSE(f.roomView.shown);
    ASSERT_TRUE(f.Enter(1235));
    EXPECT_EQ(f.roomView.targetLabel, "你对 所有人 说:");
    ASSERT_EQ(f.Room().Chat().SendText("大家好"), 0);
    EXPECT_EQ(LastText(f, 1).IntOr(TextKey::PRIVATE, -1), 0);
}
