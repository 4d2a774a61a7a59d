// tavo-cli: the console client, on the same core as the desktop client.
//
//   tavo-cli [--config-url URL] [--server HOST[:PORT]] [--program-folder DIR]
//            [--script FILE] [ROOM]
//   tavo-cli --help | --version
//
// Without --script it reads commands from the terminal ("help" lists them). With
// --script it runs the file's commands in order and exits 1 when an expectation fails.

#include "app/cli/ConsoleOutput.h"
#include "app/cli/ConsolePrompt.h"
#include "app/cli/ConsoleViews.h"
#include "app/cli/ScriptRunner.h"
#include "app/client/ClientOptions.h"
#include "app/client/ClientRun.h"
#include "app/client/HallRelay.h"
#include "core/AppState.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "platform/System.h"
#include "room/PrivateFiles.h"
#include "room/PrivateLink.h"
#include "room/PrivateRecording.h"
#include "room/PrivateVideo.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/RoomRecording.h"
#include "room/RoomVideo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <unistd.h>

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    const tagClientOptions options = ParseClientOptions(app.arguments());
    if (AnswerHelpOrVersion(
            options, QStringLiteral("tavo-cli"),
            QStringLiteral("The console client of the Tavo voice and video chat rooms: reads "
                           "commands from the terminal, or runs a script. The command help "
                           "lists the commands. At a terminal lines are edited with GNU "
                           "Readline: Tab completes command names and the room's members, and "
                           "the history is kept in $XDG_STATE_HOME/tavo/cli_history "
                           "(~/.local/state/tavo/cli_history)."),
            QStringLiteral("  --script FILE           run the file's commands in order; exit 1 "
                           "when an expectation fails\n"))) {
        return 0;
    }
    QString scriptPath;
    for (int i = 0; i < options.rest.size(); ++i) {
        if (options.rest[i] == QLatin1String("--script") && i + 1 < options.rest.size()) {
            scriptPath = options.rest[++i];
        } else {
            QTextStream(stderr) << "tavo-cli: unknown argument " << options.rest[i] << "\n";
            return 2;
        }
    }
    if (!options.error.isEmpty()) {
        QTextStream(stderr) << "tavo-cli: " << options.error << "\n";
        return 2;
    }
    QStringList script;
    if (!scriptPath.isEmpty()) {
        QFile file(scriptPath);
        if (!file.open(QIODevice::ReadOnly)) {
            QTextStream(stderr) << "tavo-cli: cannot read " << scriptPath << "\n";
            return 2;
        }
        script = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    const QString folder = ProgramFolder(options.programFolder);
    ApplyClientOptions(options, folder);

    CAppState state;
    CScopedAppState stateScope(state);
    CConsoleOutput out;
    CConsolePrompt prompt(out, scriptPath.isEmpty());
    CScopedPrompt promptScope(prompt);
    CScriptedDialogHost dialogs;
    CScopedDialogHost dialogScope(dialogs);

    CConsoleHallView hallView(out);
    CConsoleRoomView roomView(out);
    CConsoleChatView publicView(out, QStringLiteral("公聊"));
    CConsoleChatView privateView(out, QStringLiteral("私聊"));
    CConsolePrivateRoomView privateRoomView(out);
    CConsoleChatView privateRoomChat(out, QStringLiteral("私聊房"));
    CHallRelay relay;
    CRoomEntry entry(relay);
    entry.Room().SetViews(&roomView, &publicView, &privateView);
    entry.PrivateRoom().SetViews(&privateRoomView, &privateRoomChat);
    CPrivateVideo privateVideo(entry.PrivateRoom());
    CPrivateLink privateLink(entry.PrivateRoom());
    UseOwnLinkAddress(privateLink);
    CPrivateFiles privateFiles(entry.PrivateRoom(), privateLink, entry.MainConnection());
    CRoomAudio::Install(entry.Room());
    roomView.SetVideo(&CRoomVideo::Install(entry.Room()));
    CRoomRecording& recording = CRoomRecording::Install(entry.Room());
    CConsoleRecordView recordView(out);
    recording.Recorder().SetView(&recordView);
    CPrivateRecording privateRecording(entry.PrivateRoom(), privateVideo);
    privateRecording.Recorder().SetView(&recordView);

    CScriptRunner runner({out, hallView, roomView, prompt, dialogs, entry, &recording});
    if (scriptPath.isEmpty()) {
        runner.ReadTerminal();
    } else {
        runner.SetScript(script);
    }
    runner.SelectAudio();

    CTavoClientApp client(state, &hallView, &entry);
    client.SetHallHook([&](CTavoClientDlg& hall) {
        relay.Attach(&hall);
        runner.Start(hall);
    });
    tagAppStart start;
    start.programFolder = folder;
    start.commandLine = StartCommandLine(app.arguments().value(0), options);
    // The one-copy rule keeps a person from running the desktop client twice. The console
    // client is also a bot and a test driver, of which many run side by side, so it counts
    // under a name no other process has.
    start.instanceName = QStringLiteral("tavo-cli#%1").arg(::getpid());
    const EStartResult result = RunClient(client, start);
    runner.Stop();
    relay.Attach(nullptr);
    if (result != EStartResult::Run) {
        return 1;
    }
    return runner.ExitCode();
}
