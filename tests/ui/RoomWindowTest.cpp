// The room window on the real room controller, entered through a scripted room server on
// loopback: what the window decides and how its widgets reach the room. The input box and face
// picker reach the controller, the member list groups by rank, the menus hand their entries to
// the room, the view menu merges and splits the chat views, a minimized window tells the room
// it is out of sight, and the video, gift, recorder and microphone panels follow the room.

#include "audio/RecordSource.h"
#include "platform/audio/WaveSystem.h"
#include "protocol/Commands.h"
#include "protocol/keys/VideoKeys.h"
#include "room/ChatText.h"
#include "room/Gifts.h"
#include "room/ManageMenu.h"
#include "room/MemberList.h"
#include "room/PrivateRoomDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomMembers.h"
#include "room/RoomRecording.h"
#include "room/RoomVideo.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/media/MediaTestSupport.h"
#include "tests/room/RoomFixture.h"
#include "tests/ui/Widgets.h"
#include "tests/video/VideoTestSupport.h"
#include "ui/ChatBrowser.h"
#include "ui/FacePicker.h"
#include "ui/GiftWindows.h"
#include "ui/HallWindow.h"
#include "ui/Icons.h"
#include "ui/InviteDialogs.h"
#include "ui/MemberModel.h"
#include "ui/PrivateRoomWindow.h"
#include "ui/QtDialogHost.h"
#include "ui/RecordWindow.h"
#include "ui/RoomDialogs.h"
#include "ui/RoomVideoPanel.h"
#include "ui/RoomWindow.h"
#include "ui/VideoDlg.h"
#include "ui/VideoPicture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace audiotest;
using namespace tavotest;

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

// The texts of a menu's entries, separators left out.
QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            texts << a->text();
        }
    }
    return texts;
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
    CChatBrowser& PublicBrowser() { return *window->findChild<CChatBrowser*>("publicView"); }
    CChatBrowser& PrivateBrowser() { return *window->findChild<CChatBrowser*>("privateView"); }
    const CMemberModel& Members() {
        return *static_cast<CMemberModel*>(
            window->findChild<QAbstractItemView*>("members")->model());
    }
    // The whole entry; done when the window shows the room's settings.
    bool Enter() {
        f.server.room = 1234;
        f.entry->OnRoomMessage(1, 1234);
        return WaitUntil(
            [&] { return window->isVisible() && !Shown(*window, "micMode").isEmpty(); });
    }
};

}  // namespace

TEST_F(RoomWindow, InputBoxFacePickerAndTargetReachTheController) {
    ASSERT_TRUE(Enter());
    f.Room().Members().List().Find("me")->time280 = f.clock.Now() + 3600;
    auto* faceButton = window->findChild<QToolButton*>("faceButton");
    ASSERT_NE(faceButton, nullptr);
    faceButton->click();
    auto* picker = window->findChild<CFacePicker*>();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(picker->isVisible());
    picker->findChild<QToolButton*>("face3")->click();
    EXPECT_EQ(Shown(*window, "input"), "|#03");

    window->findChild<QLineEdit*>("input")->setText("大家好");
    window->findChild<QPushButton*>("send")->click();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_TEXT, 1));
    EXPECT_TRUE(Shown(*window, "input").isEmpty());
    EXPECT_TRUE(PublicBrowser().CellText().contains("大家好"));

    // The members are grouped under their rank's heading; double-clicking one makes it the
    // target.
    const CMemberModel& members = Members();
    ASSERT_EQ(members.rowCount(), 3);
    EXPECT_TRUE(members.Row(0)->heading);
    EXPECT_EQ(members.Row(0)->text, "会员 (2)");
    for (int row = 0; row < members.rowCount(); ++row) {
        if (members.Row(row)->id == "amy") {
            auto* list = window->findChild<QAbstractItemView*>("members");
            Q_EMIT list->doubleClicked(members.index(row));
        }
    }
    EXPECT_EQ(f.Room().Chat().Target(), "amy");
    EXPECT_EQ(Shown(*window, "targetLabel"), "你对 艾米 说:");
}

TEST_F(RoomWindow, MenusOfferWhatTheUsersRankAllowsAndNothingFake) {
    ASSERT_TRUE(Enter());
    // A member's menu on another member keeps its first five entries.
    QMenu* member = window->MemberMenuFor("amy");
    EXPECT_EQ(member->title(), "成员管理");
    EXPECT_EQ(Texts(member),
              QStringList({"amy", "赠送礼物", "与他视频私聊", "打开望远镜", "访问私麦"}));

    // An operator kicks through the kick dialog's window, choosing a listed reason.
    f.Room().Members().List().Find("me")->rank = 30;
    CQtDialogHost host;
    RegisterRoomDialogs(host);
    CScopedDialogHost hostScope(host);
    member = window->MemberMenuFor("amy");
    OnModalWindow([](QWidget* kick) {
        ASSERT_EQ(kick->objectName(), "KickWindow");
        auto* reasons = kick->findChild<QComboBox*>("reasons");
        reasons->setCurrentIndex(2);
        Q_EMIT reasons->activated(2);
        kick->findChild<QPushButton*>("ok")->click();
    });
    Entry(member, "踢出房间")->trigger();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_KICK, 1));
    EXPECT_TRUE(
        HasFields(f.server.main.Received(CMD_KICK).back(), {{20, "amy"}, {30, "言语辱骂"}}));

    Entry(window->MemberMenuFor("amy"), "屏蔽此人")->trigger();
    EXPECT_TRUE(f.Room().Chat().IsBlocked("amy"));

    Entry(window->ViewMenu(), "合屏")->trigger();
    EXPECT_FALSE(PrivateBrowser().isVisibleTo(window.get()));
    EXPECT_EQ(PublicBrowser().PageName(), "big_pub.htm");
    Entry(window->ViewMenu(), "分屏")->trigger();
    EXPECT_TRUE(PrivateBrowser().isVisibleTo(window.get()));
    EXPECT_EQ(PublicBrowser().PageName(), "pub.htm");
    Entry(window->ViewMenu(), "清公聊屏")->trigger();
    EXPECT_TRUE(PublicBrowser().CellText().trimmed().isEmpty());
}

TEST_F(RoomWindow, PrivateChatInvitesThroughItsWindowAndItsRoomLeavesWhenClosed) {
    ASSERT_TRUE(Enter());
    // Minimized, the window is out of sight, which the room's invitations go by.
    window->showMinimized();
    EXPECT_FALSE(f.Room().IsShown());
    window->showNormal();
    EXPECT_TRUE(f.Room().IsShown());
    CQtDialogHost host;
    RegisterInviteDialogs(host);
    CScopedDialogHost hostScope(host);
    OnModalWindow([](QWidget* invite) {
        ASSERT_EQ(invite->objectName(), "PriChatSubmitWindow");
        invite->findChild<QLineEdit*>("reason")->setText("聊聊");
        invite->findChild<QLineEdit*>("amount")->setText("0.5");
        invite->findChild<QPushButton*>("ok")->click();
    });
    Entry(window->MemberMenuFor("amy"), "与他视频私聊")->trigger();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_PRIVATE_REQUEST));
    EXPECT_TRUE(HasFields(f.server.main.Received(CMD_PRIVATE_REQUEST).back(),
                          {{20, "amy"}, {40, 50}, {50, "聊聊"}}));

    // The private room's window shows its state and, closed by the person, leaves it.
    CPrivateRoomDlg& privateRoom = f.entry->PrivateRoom();
    CPrivateRoomWindow privateWindow(privateRoom, kFolder);
    privateRoom.SetViews(&privateWindow, privateWindow.ChatView());
    privateRoom.Open("me", "我", true);
    privateWindow.ShowPrivateWindow(true);
    EXPECT_EQ(privateWindow.windowTitle(), "等待私聊对象进入中...");
    EXPECT_EQ(privateRoom.SendText("在吗"), -1);
    CChatBrowser& chat = *privateWindow.findChild<CChatBrowser*>("privateChat");
    chat.Flush();
    EXPECT_TRUE(chat.CellText().contains("请先等待私聊对象进入房间!"));
    privateWindow.close();
    EXPECT_FALSE(privateRoom.IsWindow());
    EXPECT_FALSE(privateWindow.isVisible());
    privateRoom.SetViews(nullptr, nullptr);
}

TEST_F(RoomWindow, TheGiveEntryOpensTheGiveWindowAndAnimationsCloseThemselves) {
    ASSERT_TRUE(Enter());
    CQtDialogHost host;
    CScopedDialogHost hostScope(host);
    RegisterGiftDialogs(host);
    // The person picks the second gift of the skin's catalogue, three of it.
    OnModalWindow([](QWidget* modal) {
        ASSERT_EQ(modal->objectName(), "GiveGiftWindow");
        modal->findChild<QListWidget*>("items")->setCurrentRow(1);
        modal->findChild<QComboBox*>("quantity")->setCurrentText("3");
        modal->findChild<QPushButton*>("ok")->click();
    });
    Entry(window->MemberMenuFor("amy"), "赠送礼物")->trigger();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_GIFT));
    EXPECT_TRUE(
        HasFields(f.server.main.Received(CMD_GIFT)[0],
                  {{30, int(f.Room().Gifts().Catalogue().Gifts().at(1).number)}, {40, short(3)}}));

    CGiftAnimations animations;
    tagGiftAnimation a;
    a.source = kFolder + "/img/gift/1001.gif";
    a.width = 100;
    a.height = 80;
    a.seconds = 1;
    animations.ShowGiftAnimation(a);
    animations.ShowGiftAnimation(a);
    EXPECT_EQ(animations.Open(), 2);
    QWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "GiftFlashWindow" && w->isVisible()) {
            shown = w;
        }
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->size(), QSize(106, 92));
    EXPECT_TRUE(shown->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(shown->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(shown->geometry().center(),
              QGuiApplication::primaryScreen()->availableGeometry().center());
    EXPECT_TRUE(WaitUntil([&] { return animations.Open() == 0; }));
}

TEST_F(RoomWindow, VideoPicturesTheirTogglesAndThePopOutFollowTheRoomsVideo) {
    CRoomVideo& video = CRoomVideo::Install(f.Room());
    ASSERT_TRUE(Enter());
    CRoomVideoPanel& panel = window->VideoPanel();

    // A frame of amy's on video 1 is drawn on its picture.
    f.MicTaken("amy");
    const auto frames = EncodePattern(1, {0});
    const QByteArray frame = CVideoServerH264::FramePacket(176, true, 1, frames.front().bytes);
    CKParam packet = Packet(CMD_VIDEO, {{VideoKey::SLOT, 1}});
    packet.SetChar(VideoKey::FRAME, frame.constData(), static_cast<unsigned short>(frame.size()));
    f.Deliver(With(std::move(packet), {{VideoKey::SENDER, "amy"}, {VideoKey::VIEWERS, ""}}));
    CVideoPicture* one = panel.Picture(VIDEO_1);
    ASSERT_EQ(one->Drawn(), 1);
    EXPECT_EQ(one->Picture().size(), QSize(176, 144));

    // Popped out, the picture lives in its own window; closed, it is back in the room window.
    video.PopOut(VIDEO_1);
    ASSERT_NE(panel.PopOut(VIDEO_1), nullptr);
    EXPECT_TRUE(panel.PopOut(VIDEO_1)->isVisible());
    EXPECT_EQ(one->parentWidget(), panel.PopOut(VIDEO_1));
    panel.PopOut(VIDEO_1)->close();
    EXPECT_FALSE(panel.PopOut(VIDEO_1)->isVisible());
    EXPECT_NE(one->parentWidget(), panel.PopOut(VIDEO_1));
    EXPECT_TRUE(one->isVisible());

    // The toggle closes the picture and says it can be opened again.
    panel.Toggle(VIDEO_1)->click();
    EXPECT_FALSE(video.Receiving().IsOpen(VIDEO_1));
    EXPECT_EQ(panel.Toggle(VIDEO_1)->text(), "open");
    EXPECT_TRUE(one->Picture().isNull());
}

TEST_F(RoomWindow, TheRecorderWindowShowsThePlayOutAndHandsTheButtonsToTheRecorder) {
    CRoomVideo::Install(f.Room());
    CRoomRecording& recording = CRoomRecording::Install(f.Room());
    CRecordWindow recorder(recording);
    recorder.OfferIn(window->VideoPanel());
    QTemporaryDir dir;
    const QString file = dir.filePath("pattern.avi");
    ASSERT_TRUE(WritePatternAvi(file, 45, 15, 15));
    ASSERT_TRUE(Enter());
    // The video menu offers recording and playing files.
    QMenu* menu = window->VideoPanel().Menu();
    Q_EMIT menu->aboutToShow();
    EXPECT_NE(Entry(menu, "播放录像..."), nullptr);
    // Another member's picture can be recorded only while a member holds it.
    QAction* other = Entry(menu, "录制他人视频: 一号视频");
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(other->isEnabled());

    EXPECT_FALSE(recorder.ToggleButton()->isEnabled());
    ASSERT_EQ(recording.PlayVideo(file, false), 0);
    EXPECT_TRUE(recorder.ToggleButton()->isEnabled());
    EXPECT_EQ(recorder.ToggleButton()->text(), "●暂停播放");
    EXPECT_TRUE(recorder.Slider()->isEnabled());
    // The played pictures are drawn in the window, and the box follows the recorder.
    ASSERT_TRUE(
        WaitUntil([&] { return recorder.Picture()->Drawn() > 5; }, std::chrono::seconds(5)));
    recording.Recorder().SetSend(true);
    EXPECT_TRUE(recorder.SendBox()->isChecked());
    recorder.SendBox()->click();
    EXPECT_FALSE(recording.Recorder().IsSending());

    recorder.ToggleButton()->click();
    EXPECT_FALSE(recording.Recorder().IsRunning());
    EXPECT_EQ(recorder.ToggleButton()->text(), "●开始播放");
}

// The room-management menu is the room's to grant, by the user's rank (the member menu's rules
// are the room's tests'): below the owner's ranks (the highest of them stands for them all) the
// button writes the room's refusal and opens nothing; a manager gets the entries with the
// room's state checked, and an entry sends its request; the owner gets the owner's pages last.
TEST_F(RoomWindow, TheManageMenuFollowsTheUsersRank) {
    f.app.settings.urlMasterManage = "http://127.0.0.1:9/page/master_manage";
    f.server.settings = {{100, 1}};  // the queue, not forced
    ASSERT_TRUE(Enter());
    const auto rank = [&](int r) { f.Room().Members().List().Find("me")->rank = r; };
    rank(40);
    PublicBrowser().Clear();
    auto* button = window->findChild<QToolButton*>("manageMenu");
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_FALSE(window->ManageMenu()->isVisible());
    EXPECT_EQ(window->OpenManageMenu(), nullptr);
    EXPECT_TRUE(PublicBrowser().CellText().contains("只有房主才能使用"));

    rank(50);
    PublicBrowser().Clear();
    QMenu* menu = window->OpenManageMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(PublicBrowser().CellText().contains("只有房主才能使用"));
    EXPECT_EQ(menu->title(), "房主设置");
    // The room's current mode carries the check mark, and only it.
    for (const QString mode : {"抢麦方式", "麦序方式{普通)", "麦序方式(强制)", "OP方式"}) {
        EXPECT_EQ(Entry(menu, mode)->isChecked(), mode == "麦序方式{普通)") << mode.toStdString();
    }
    // The administration's switches show the room's state; entries without an operation of
    // their own are greyed.
    EXPECT_TRUE(Entry(menu, "打开文字公聊")->isChecked());
    EXPECT_FALSE(Entry(menu, "关闭文字公聊")->isChecked());
    EXPECT_FALSE(Entry(menu, "发起游戏")->isEnabled());
    // Without the room's voice there is no quality to change.
    EXPECT_FALSE(Entry(menu, "音响音质")->isEnabled());
    EXPECT_EQ(CManageMenu(f.Room()).Run(EManageEntry::QualityHifi), -1);
    menu->hide();

    // Choosing another mode asks the server for it.
    Entry(window->OpenManageMenu(), "OP方式")->trigger();
    ASSERT_TRUE(f.server.main.WaitFor(CMD_MIC_MODE, 1));
    EXPECT_EQ(f.server.main.Received(CMD_MIC_MODE).back().Loaded().IntOr(20, -1), 2);
    window->ManageMenu()->hide();

    rank(60);
    menu = window->OpenManageMenu();
    ASSERT_NE(menu, nullptr);
    const QStringList texts = Texts(menu);
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts.mid(texts.size() - 2), QStringList({"房主管理", "副房主管理"}))
        << "the owner's entries come last";
    EXPECT_TRUE(Entry(menu, "房主管理")->isEnabled());
    EXPECT_FALSE(Entry(menu, "副房主管理")->isEnabled()) << "the service names no such page";
    menu->hide();
    const QUrl page(CManageMenu(f.Room()).PageAddress(EManageEntry::OwnerPage));
    EXPECT_EQ(page.path(), "/page/master_manage");
    EXPECT_EQ(QUrlQuery(page).queryItemValue("room"), "1234");
    EXPECT_EQ(QUrlQuery(page).queryItemValue("u"), f.Room().OwnId());

    // The page goes to the desktop's opener; when there is none, or it finds no browser, the
    // room says so with the address.
    QTemporaryDir bin;
    const QString opened = bin.filePath("opened");
    CScopedEnv onlyBin("PATH", bin.path().toUtf8());
    auto choose = [&] {
        PublicBrowser().Clear();
        PrivateBrowser().Clear();
        Entry(window->OpenManageMenu(), "房主管理")->trigger();
        window->ManageMenu()->hide();
    };
    auto said = [&] {
        return (PublicBrowser().CellText() + PrivateBrowser().CellText())
            .contains("没有可以打开网页的浏览器,请在浏览器中手动打开: " + page.toString());
    };
    choose();
    EXPECT_TRUE(said()) << "no opener at all";
    // The opener writes down the address it was given and exits as told.
    auto opener = [&](int exitCode) {
        const QString script = bin.filePath("xdg-open");
        ASSERT_TRUE(WriteFile(script, QString("#!/bin/sh\necho \"$1\" > '%1'\nexit %2\n")
                                          .arg(opened)
                                          .arg(exitCode)
                                          .toUtf8()));
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    opener(3);  // what the opener answers when it finds no browser
    choose();
    EXPECT_TRUE(WaitUntil(said));
    QFile::remove(opened);
    opener(0);
    choose();
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(opened).size() > 0; }));
    QFile file(opened);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().trimmed(), page.toString().toUtf8());
    Spin(std::chrono::milliseconds(200));
    EXPECT_FALSE(said());
}

// The microphone panel's volume and mute on the machine's real recording mixer: they move the
// microphone's line of ours, never the device. Runs on the test sound server's microphone
// (ci_mic).
struct MicLine : RoomWindow {
    // The first channel's volume in percent, as the sound server reports it.
    static int SourcePercent() {
        static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
        const auto m = percent.match(Pactl({"get-source-volume", "ci_mic"}));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    void SetUp() override {
        TAVO_NEED(HaveProgram("pactl") && Pactl({"list", "short", "sources"}).contains("ci_mic"),
                  "the test sound server's ci_mic");
        ASSERT_TRUE(CWaveSystem::Select("pulse"));
        CRecordSource::Get().SetMixer(nullptr);
        Pactl({"set-default-source", "ci_mic"});
        Pactl({"set-source-mute", "ci_mic", "0"});
        Pactl({"set-source-volume", "ci_mic", "100%"});
    }
    void TearDown() override {
        if (!Pactl({"list", "short", "sources"}).contains("ci_mic")) {
            return;
        }
        Pactl({"set-source-mute", "ci_mic", "0"});
        Pactl({"set-source-volume", "ci_mic", "100%"});
    }
};

TEST_F(MicLine, TheSliderAndTheMuteBoxMoveOurLineAndLeaveTheMicrophoneAlone) {
    ASSERT_TRUE(Enter());
    QSlider* slider = window->findChild<QSlider*>("micVolume");
    QCheckBox* mute = window->findChild<QCheckBox*>("micMute");
    ASSERT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 100) << "the panel shows the line as it is";
    EXPECT_FALSE(mute->isChecked());
    const auto line = [] { return (CRecordSource::Get().GetMicVolume() * 100 + 32767) / 65535; };

    slider->setValue(75);
    EXPECT_EQ(line(), 75);
    EXPECT_EQ(SourcePercent(), 100) << "the device is every program's; its volume stays";

    // Another program turns the device down: our line is not its volume.
    Pactl({"set-source-volume", "ci_mic", "20%"});
    window->RefreshMicLine();
    EXPECT_EQ(slider->value(), 75);
    EXPECT_EQ(SourcePercent(), 20) << "reading the line must not move the device";

    mute->click();
    EXPECT_EQ(Pactl({"get-source-mute", "ci_mic"}), "Mute: no");
    EXPECT_EQ(tagMixSettings::Load().isMicMute, 1) << "the choice is kept for the next speaking";
    window->RefreshMicLine();
    EXPECT_TRUE(mute->isChecked());
    mute->click();
    EXPECT_EQ(tagMixSettings::Load().isMicMute, 0);

    // The room's voice announces the volume it restores; the slider follows it.
    window->ShowMicVolume(65535 / 2);
    EXPECT_EQ(slider->value(), 50);
    EXPECT_EQ(line(), 75) << "showing a volume does not set it";
}

// The windows and the face picker stay on the screen's free area however small it is: at 200%
// a 1280x800 screen is 640x400, smaller than any window's own size (ui_fit_200 runs this at
// that scale).
TEST_F(RoomWindow, WindowsAndTheFacePickerFitTheScreen) {
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    CHallWindow hall(f.app);
    for (QWidget* w : {static_cast<QWidget*>(&hall), static_cast<QWidget*>(window.get())}) {
        w->show();
        EXPECT_TRUE(free.contains(w->frameGeometry()))
            << w->objectName().toStdString() << " at " << w->frameGeometry().width() << "x"
            << w->frameGeometry().height() << " on " << free.width() << "x" << free.height();
    }
    CFacePicker picker;
    picker.PopupAt(free.bottomRight() - QPoint(10, 10), free.bottom() - 40);
    EXPECT_TRUE(free.contains(picker.frameGeometry()))
        << picker.frameGeometry().x() << "," << picker.frameGeometry().y() << " "
        << picker.frameGeometry().width() << "x" << picker.frameGeometry().height();
    picker.hide();
    hall.hide();
}
