// Pictures of the room window's administration for a person to look at: the member menu as the
// owner sees it on a member, the room-management menu, and each dialog of running the room,
// saved as PNG files. Run under a real display (Xvfb) at each scale factor wanted:
//
//   QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 xvfb-run -a build/tests/ui/room_screens OUT_DIR

#include "protocol/Commands.h"
#include "room/AdminDialogs.h"
#include "room/RoomAdministration.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/RoomScoring.h"
#include "tests/room/RoomFixture.h"
#include "ui/Icons.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomDialogs.h"
#include "ui/RoomWindow.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace tavotest;

namespace {

QString g_out;

void Save(QWidget* widget, const QString& name) {
    const QString path = QDir(g_out).filePath(name + QStringLiteral(".png"));
    widget->grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// Runs the dialog an action opens, photographs its window and cancels it.
void Photograph(const QString& name, const std::function<void()>& open) {
    QTimer::singleShot(300, [name] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            Save(dialog, name);
            dialog->close();
        }
    });
    open();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: room_screens OUT_DIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    const QString folder = QStringLiteral(TAVO_PROGRAM_DIR);
    CRoomFixture f;
    f.app.programFolder = folder;
    CIcons::Load(folder);
    f.server.members =
        QStringList{MemberText("me", "房主小王", 60), MemberText("bob", "鲍勃", 30),
                    MemberText("amy", "艾米", 20), MemberText("zoe", "游客佐伊", 10, false)};
    CRoomWindow window(f.Room(), folder);
    f.Room().SetViews(&window, window.PublicView(), window.PrivateView());
    CQtDialogHost host;
    RegisterRoomDialogs(host);
    CScopedDialogHost scope(host);
    f.server.room = 1234;
    f.entry->OnRoomMessage(1, 1234);
    WaitUntil([&] { return window.isVisible() && f.Room().Settings().micTime != 0; });
    Spin(std::chrono::milliseconds(300));
    Save(&window, QStringLiteral("room"));

    QMenu* member = window.MemberMenuFor(QStringLiteral("amy"));
    member->popup(window.mapToGlobal(QPoint(80, 120)));
    Spin(std::chrono::milliseconds(300));
    Save(member, QStringLiteral("member-menu"));
    member->hide();
    if (QMenu* manage = window.OpenManageMenu()) {
        Spin(std::chrono::milliseconds(300));
        Save(manage, QStringLiteral("manage-menu"));
        manage->hide();
    }

    CRoomAdministration& admin = f.Room().Admin();
    Photograph(QStringLiteral("nickname"), [&] { admin.ChangeNickname(); });
    Photograph(QStringLiteral("topic"), [&] { admin.ChangeTopic(); });
    Photograph(QStringLiteral("lock"), [&] { admin.ChangeLock(); });
    Photograph(QStringLiteral("kick"), [&] { admin.Kick(QStringLiteral("amy")); });
    Photograph(QStringLiteral("ban"), [&] { admin.Ban(QStringLiteral("amy")); });
    Photograph(QStringLiteral("activity"), [&] { f.Room().Scoring().ToggleActivity(); });
    Photograph(QStringLiteral("score"), [&] {
        f.Deliver(Announcement(CMD_SCORING_MEMBER, {QStringLiteral("bob"), QStringLiteral("amy")}));
    });
    f.Room().SetViews(nullptr, nullptr, nullptr);
    return 0;
}
