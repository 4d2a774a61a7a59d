// The hall: how long the core takes from the start of the application object to the first
// presence request reaching a local hall server, and how long a directory document of 5,000
// rooms takes to read and lay out.

#include "core/AppState.h"
#include "hall/Directory.h"
#include "hall/HallLists.h"
#include "hall/HallView.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "tests/support/Loopback.h"
#include "tests/support/RecordingViews.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace tavotest;

void BM_StartToFirstPresenceRequest(benchmark::State& state) {
    QTemporaryDir program;
    QTemporaryDir profiles;
    CProfileStore::SetRoot(profiles.path());
    CScriptedPrompt prompt;
    CScopedPrompt promptScope(prompt);
    CScriptedDialogHost dialogs;
    CScopedDialogHost dialogScope(dialogs);

    bool presence = false;
    CLoopbackServer center;
    center.Answer(CMD_VISITOR, [&](CTestConnection&, CKParam&) { presence = true; });
    center.Start();
    CLoopbackServer route(kRouteFrame);
    route.AnswerWith(CMD_SERVER_INFO, CMD_SERVER_INFO_REPLY,
                     {{30, "127.0.0.1"}, {50, static_cast<int>(center.Port())}});
    route.Start();
    CDocumentServer web;
    web.Start();
    web.Put("/cfg.xml", QStringLiteral("<CONFIG><SERVER><IP>127.0.0.1</IP><PORT>%1</PORT>"
                                       "<LASTVERSION>1</LASTVERSION></SERVER></CONFIG>")
                            .arg(route.Port())
                            .toUtf8());
    CProfileStore::Open("TavoTavo").WriteString("Main", "UpdateURL", web.Url("/cfg.xml"));

    tagAppStart start;
    start.programFolder = program.path();
    start.programPath = program.filePath(QStringLiteral("tavo"));
    start.commandLine = QStringLiteral("tavo");
    start.instanceName = QUuid::createUuid().toString(QUuid::WithoutBraces);
    start.installCrashHandler = false;
    CRecordingView view;
    // The hall is ended as soon as the presence request has reached the server.
    dialogs.Default(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        while (!presence) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        d.EndDialog(IDOK);
    });

    for (auto _ : state) {
        presence = false;
        CAppState appState;
        CScopedAppState appScope(appState);
        CTavoClientApp app(appState, &view, nullptr);
        app.Run(start);
        if (!presence) {
            state.SkipWithError("no presence request");
            break;
        }
    }
    CProfileStore::SetRoot(QString());
}
BENCHMARK(BM_StartToFirstPresenceRequest)->Unit(benchmark::kMillisecond)->Iterations(20);

QString RoomDocument(int rooms) {
    QString text =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Rooms><Room count=\"%1\">")
            .arg(rooms);
    for (int i = 0; i < rooms; ++i) {
        text +=
            QStringLiteral(
                "<Item id=\"%1\" state=\"(%2/100)\" isp=\"电信\">第%1号音乐聊天室欢迎光临</Item>")
                .arg(10000 + i)
                .arg(i % 100);
    }
    return text + QStringLiteral("</Room></Rooms>");
}

void BM_ParseRoomDocument(benchmark::State& state) {
    const QString text = RoomDocument(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<tagRoomItem> rooms;
        ParseRoomDocument(text, rooms);
        benchmark::DoNotOptimize(rooms.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_ParseRoomDocument)->Arg(5000)->Unit(benchmark::kMillisecond);

// Reading the document and filling the room list: every name cut to the column by drawn width.
void BM_FillRoomList(benchmark::State& state) {
    const QString text = RoomDocument(static_cast<int>(state.range(0)));
    CRecordingView view;
    for (auto _ : state) {
        CHallLists lists(view);
        std::vector<tagRoomItem> rooms;
        ParseRoomDocument(text, rooms);
        lists.FillRoomsFromDocument(rooms);
        benchmark::DoNotOptimize(view.rooms.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillRoomList)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    CClock::Slot().Install(&TheSystemClock());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
