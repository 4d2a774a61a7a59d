// tavo: the desktop client.
//
//   tavo [--config-url URL] [--server HOST[:PORT]] [--program-folder DIR] [ROOM]
//   tavo --help | --version

#include "app/client/ClientOptions.h"
#include "app/client/ClientRun.h"
#include "app/client/HallRelay.h"
#include "core/AppState.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "infra/CrashCapture.h"
#include "platform/Clock.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "room/Gifts.h"
#include "room/PrivateFiles.h"
#include "room/PrivateLink.h"
#include "room/PrivateRecording.h"
#include "room/PrivateVideo.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomRecording.h"
#include "room/RoomVideo.h"
#include "ui/CoreDialogs.h"
#include "ui/DesktopNotifier.h"
#include "ui/GiftWindows.h"
#include "ui/HallWindow.h"
#include "ui/Icons.h"
#include "ui/InviteDialogs.h"
#include "ui/PrivateRoomWindow.h"
#include "ui/QtDialogHost.h"
#include "ui/QtPromptService.h"
#include "ui/RecordWindow.h"
#include "ui/RoomWindow.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

namespace {

// A quiet, tidy look that reads the same on every desktop.
const char* kStyle = R"(
QWidget#HallWindow, QWidget#RoomWindow { background: #f6f7f9; }
QLabel#account { font-weight: 600; }
QLabel#information { color: #495057; }
QLabel#status { color: #c92a2a; }
QLabel#notice { background: #fff9db; border: 1px solid #ffe066; padding: 4px 6px; }
QLabel#topic { padding: 4px 2px; }
QLabel#caption { color: #868e96; }
QListWidget, QListView, QTextBrowser { background: #ffffff; border: 1px solid #dee2e6; border-radius: 4px; }
QPushButton#speak { font-weight: 600; }
QGroupBox { font-weight: 600; border: 1px solid #dee2e6; border-radius: 4px; margin-top: 10px; padding-top: 6px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; }
)";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, which would want a display.
    QStringList raw;
    for (int i = 0; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    if (AnswerHelpOrVersion(ParseClientOptions(raw), QStringLiteral("tavo"),
                            QStringLiteral("The desktop client of the Tavo voice and video chat "
                                           "rooms."))) {
        return 0;
    }
    CClock::Slot().Install(&TheSystemClock());
    QApplication app(argc, argv);
    // A crashed copy starts us only to show its message: its own heap and windows may be
    // broken, ours are sound.
    if (CCrashCapture::IsMessageRun(argc, argv)) {
        CQtPromptService prompt;
        CScopedPrompt promptScope(prompt);
        CCrashCapture::ShowMessage();
        return 0;
    }
    const tagClientOptions options = ParseClientOptions(app.arguments());
    if (!options.error.isEmpty()) {
        QTextStream(stderr) << "tavo: " << options.error << "\n";
        return 2;
    }
    const QString folder = ProgramFolder(options.programFolder);
    ApplyClientOptions(options, folder);
    app.setStyleSheet(QString::fromLatin1(kStyle));
    app.setQuitOnLastWindowClosed(false);
    CIcons::Load(folder);
    app.setWindowIcon(CIcons::App());

    CAppState state;
    CScopedAppState stateScope(state);
    CQtPromptService prompt;
    CScopedPrompt promptScope(prompt);
    CQtDialogHost host;
    CScopedDialogHost hostScope(host);
    CDesktopNotifier notifier;
    CScopedService<INotifier> notifierScope(notifier);

    CHallWindow hallWindow(state);
    RegisterCoreDialogs(host, &hallWindow);
    RegisterGiftDialogs(host);
    RegisterInviteDialogs(host);
    CHallRelay relay;
    CRoomEntry entry(relay);
    CRoomWindow roomWindow(entry.Room(), folder);
    entry.Room().SetViews(&roomWindow, roomWindow.PublicView(), roomWindow.PrivateView());
    CPrivateRoomWindow privateRoomWindow(entry.PrivateRoom(), folder);
    entry.PrivateRoom().SetViews(&privateRoomWindow, privateRoomWindow.ChatView());
    CPrivateVideo privateVideo(entry.PrivateRoom());
    CPrivateLink privateLink(entry.PrivateRoom());
    UseOwnLinkAddress(privateLink);
    CPrivateFiles privateFiles(entry.PrivateRoom(), privateLink, entry.MainConnection());
    CGiftAnimations giftAnimations;
    entry.Room().Gifts().SetView(&giftAnimations);
    CRoomAudio::Install(entry.Room());
    CRoomVideo::Install(entry.Room());
    CRecordWindow recordWindow(CRoomRecording::Install(entry.Room()), &roomWindow);
    recordWindow.OfferIn(roomWindow.VideoPanel());
    CPrivateRecording privateRecording(entry.PrivateRoom(), privateVideo);
    CRecordWindow privateRecordWindow(privateRecording, &privateRoomWindow);
    privateRecordWindow.OfferIn(privateRoomWindow);

    CTavoClientApp client(state, &hallWindow, &entry);
    client.SetHallHook([&](CTavoClientDlg& hall) { relay.Attach(&hall); });
    tagAppStart start;
    start.programFolder = folder;
    start.commandLine = StartCommandLine(app.arguments().value(0), options);
    start.crashSetup.messageCommand = {QCoreApplication::applicationFilePath().toStdString(),
                                       CCrashCapture::kMessageOption};
    const EStartResult result = RunClient(client, start);
    relay.Attach(nullptr);
    return result == EStartResult::Run ? 0 : 1;
}
