// The room window on the real room controller, entered through a scripted room server on
// loopback: received lines show formatted with their faces, the input box and face picker
// reach the controller, the microphone panel follows the announcements and the countdown,
// the member list groups by rank, and the view menu merges and splits the chat views.

#include "protocol/Commands.h"
#include "room/ChatText.h"
#include "room/MemberList.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomMembers.h"
#include "tests/room/RoomTestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/ChatBrowser.h"
#include "ui/FacePicker.h"
#include "ui/Icons.h"
#include "ui/MemberModel.h"
#include "ui/RoomWindow.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

QStringList ImageNames(const QTextDocument& doc) {
    QStringList names;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat()) {
                names << f.toImageFormat().name();
            }
        }
    }
    return names;
}

QAction* Entry(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

struct RoomWindow : ::testing::Test {
    CRoomFixture f;
    std::unique_ptr<CRoomWindow> window;
    RoomWindow() {
        f.app.programFolder = kFolder;
        CIcons::Load(kFolder);
        window = std::make_unique<CRoomWindow>(f.Room(), kFolder);
        f.Room().SetViews(window.get(), window->PublicView(), window->PrivateView());
    }
    ~RoomWindow() override { f.Room().SetViews(nullptr, nullptr, nullptr); }
    // The whole entry; done when the window shows the room's settings.
    bool Enter() {
        f.server.room = 1234;
        f.entry->OnRoomMessage(1, 1234);
        return WaitUntil([&] { return f.Room().IsShown() && !window->MicModeText().isEmpty(); });
    }
    void Receive(const QString& from, const QString& line, int priv = 0) {
        f.Deliver([&](CKParam& p) {
            p.SetShortInt(KEY_COMMAND, CMD_TEXT_LINE);
            p.SetCString(20, from);
            p.SetCString(21, QString());
            p.SetCString(30, line);
            p.SetInt(40, priv);
        });
    }
    void MicTaken(const QString& holder, short which = 1) {
        f.Deliver([&](CKParam& p) {
            p.SetShortInt(KEY_COMMAND, CMD_MIC_TAKEN);
            p.SetCString(20, holder);
            p.SetShortInt(30, which);
            p.SetShortInt(40, 0);
        });
    }
};

}  // namespace

TEST_F(RoomWindow, EnteringShowsMembersByRankAndAReceivedLineWithItsFace) {
    ASSERT_TRUE(Enter());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->MemberCountText(), "2人");
    const CMemberModel& members = window->Members();
    ASSERT_EQ(members.rowCount(), 3);
    EXPECT_TRUE(members.Row(0)->heading);
    EXPECT_EQ(members.Row(0)->text, "会员 (2)");
    EXPECT_EQ(window->TargetLabelText(), "你对 所有人 说:");

    Receive(
        "amy",
        R"(<font color=#00f><a id="talkobject" tavoid="amy" tavoname="艾米" href="" style="text-decoration:none">艾米</a></font>说:<font>看 |#05 &lt;b&gt;</font><br>)");
    CChatBrowser& view = window->PublicBrowser();
    ASSERT_TRUE(view.CellText().contains("艾米说:看")) << view.CellText().toStdString();
    EXPECT_TRUE(view.CellText().contains("<b>")) << "escaped markup shows as text";
    const QStringList images = ImageNames(*view.document());
    ASSERT_EQ(images.size(), 1) << "the face token did not become a picture";
    EXPECT_EQ(images[0], kFolder + "/img/face/05.gif");
    const QPixmap face =
        view.document()->resource(QTextDocument::ImageResource, QUrl(images[0])).value<QPixmap>();
    EXPECT_EQ(face.size(), QSize(24, 24));
    EXPECT_TRUE(view.CellHtml().contains("tavo:member")) << "the name is a link to the member";
}

TEST_F(RoomWindow, InputBoxFacePickerAndTargetReachTheController) {
    ASSERT_TRUE(Enter());
    f.Room().Members().List().Find("me")->time280 = f.clock.Now() + 3600;
    auto* faceButton = window->findChild<QToolButton*>("faceButton");
    ASSERT_NE(faceButton, nullptr);
    faceButton->click();
    auto* picker = window->findChild<CFacePicker*>();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(picker->isVisible());
    for (int i = 0; i < 4; ++i) {
        picker->findChild<QToolButton*>(QString("face%1").arg(i + 3))->click();
    }
    EXPECT_EQ(window->InputText(), "|#03|#04|#05") << "a fourth face is refused";
    EXPECT_TRUE(window->PrivateBrowser().CellText().contains("最多只能添加3个表情") ||
                window->PublicBrowser().CellText().contains("最多只能添加3个表情"));

    window->SetInputText("大家好 |#03");
    window->findChild<QPushButton*>("send")->click();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_TEXT, 1));
    EXPECT_TRUE(window->InputText().isEmpty());
    EXPECT_TRUE(window->PublicBrowser().CellText().contains("大家好"));
    EXPECT_EQ(ImageNames(*window->PublicBrowser().document()).value(0),
              kFolder + "/img/face/03.gif");

    // Double-clicking a member makes it the target.
    const CMemberModel& members = window->Members();
    for (int row = 0; row < members.rowCount(); ++row) {
        if (members.Row(row)->id == "amy") {
            auto* list = window->findChild<QAbstractItemView*>("members");
            Q_EMIT list->doubleClicked(members.index(row));
        }
    }
    EXPECT_EQ(f.Room().Chat().Target(), "amy");
    EXPECT_EQ(window->TargetLabelText(), "你对 艾米 说:");
}

TEST_F(RoomWindow, MicrophonePanelFollowsTheAnnouncementsAndCountsDown) {
    ASSERT_TRUE(Enter());
    EXPECT_TRUE(window->MainMicText().startsWith("空闲"));
    MicTaken("amy");
    const QString holding = window->MainMicText();
    EXPECT_TRUE(holding.startsWith("艾米")) << holding.toStdString();
    EXPECT_EQ(window->Members().MainHolder(), "amy") << "the member list marks the holder";
    f.clock.Advance(1000);
    EXPECT_NE(window->MainMicText(), holding) << "the countdown did not move";
    EXPECT_EQ(window->findChild<QPushButton*>("speak")->text(), "抢麦");

    MicTaken("me");
    EXPECT_TRUE(window->MainMicText().startsWith("我"));
    EXPECT_EQ(window->findChild<QPushButton*>("speak")->text(), "放麦");
    MicTaken(QString());
    EXPECT_TRUE(window->MainMicText().startsWith("空闲 0秒"))
        << window->MainMicText().toStdString();
    EXPECT_EQ(window->findChild<QPushButton*>("speak")->text(), "抢麦");
}

TEST_F(RoomWindow, MenusOfferWhatTheUsersRankAllowsAndNothingFake) {
    ASSERT_TRUE(Enter());
    QMenu* member = window->MemberMenuFor("amy");
    EXPECT_TRUE(Entry(member, "对他说")->isEnabled());
    EXPECT_TRUE(Entry(member, "屏蔽此人")->isEnabled());
    EXPECT_FALSE(Entry(member, "递麦")->isEnabled()) << "members below operator hand nothing";
    EXPECT_FALSE(Entry(member, "踢出房间")->isEnabled()) << "administration is not there yet";
    EXPECT_FALSE(Entry(window->MemberMenuFor("me"), "对他说")->isEnabled());

    Entry(window->MemberMenuFor("amy"), "屏蔽此人")->trigger();
    EXPECT_TRUE(f.Room().Chat().IsBlocked("amy"));
    Receive("amy", "<font>不该看到</font><br>");
    EXPECT_FALSE(window->PublicBrowser().CellText().contains("不该看到"));

    Entry(window->ViewMenu(), "合屏")->trigger();
    EXPECT_FALSE(window->PrivateBrowser().isVisibleTo(window.get()));
    EXPECT_EQ(window->PublicBrowser().PageName(), "big_pub.htm");
    Entry(window->ViewMenu(), "分屏")->trigger();
    EXPECT_TRUE(window->PrivateBrowser().isVisibleTo(window.get()));
    EXPECT_EQ(window->PublicBrowser().PageName(), "pub.htm");
    Entry(window->ViewMenu(), "清公聊屏")->trigger();
    EXPECT_TRUE(window->PublicBrowser().CellText().trimmed().isEmpty());
}
