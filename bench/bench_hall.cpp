// The hall: how long the core takes from the start of the application object to the first
// presence request reaching a local hall server, and how long a directory document of 5,000
// rooms takes to read and lay out.

#include "hall/AppState.h"
#include "hall/Directory.h"
#include "hall/HallLists.h"
#include "hall/HallView.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "platform/AsyncSocket.h"
#include "platform/DialogHost.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "protocol/SocketClient.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// A hall-side peer that answers each request with a reply built by the listener.
class CPeer : public CSocketClient {
public:
    CPeer(const tagFrameFormat& format, std::function<void(CPeer&, CKParam&)> answer)
        : CSocketClient(format), m_answer(std::move(answer)) {}

protected:
    int OnKReceive(CKParam& packet) override {
        if (packet.Command() != CMD_KEEPALIVE) {
            m_answer(*this, packet);
        }
        return 0;
    }
    int SendPacket(CKParam& packet) override { return KSend(packet); }

private:
    std::function<void(CPeer&, CKParam&)> m_answer;
};

class CListener : public CAsyncSocket {
public:
    CListener(const tagFrameFormat& format, std::function<void(CPeer&, CKParam&)> answer)
        : m_format(format), m_answer(std::move(answer)) {}
    unsigned Start() {
        QString address;
        unsigned port = 0;
        if (Create(0, FD_ACCEPT, QStringLiteral("127.0.0.1")) && Listen()) {
            GetSockName(address, port);
        }
        return port;
    }

protected:
    void OnAccept(int) override {
        auto peer = std::make_unique<CPeer>(m_format, m_answer);
        if (Accept(*peer)) {
            peer->SetAccepted();
            m_peers.push_back(std::move(peer));
        }
    }

private:
    tagFrameFormat m_format;
    std::function<void(CPeer&, CKParam&)> m_answer;
    std::vector<std::unique_ptr<CPeer>> m_peers;
};

class CConfigServer : public QAbstractHttpServer {
public:
    QByteArray body;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        makeResponder(request, socket).write(body, "text/xml");
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}
};

// Draws nothing; measures text as a fixed-pitch font would.
class CQuietView : public IHallView {
public:
    void SetAreaList(int, const std::vector<tagListEntry>&) override {}
    void SetRoomList(const std::vector<tagListEntry>& entries) override { rooms = entries.size(); }
    void SetRoomMark(int, EListMark) override {}
    void SetRoomNumberText(const QString&) override {}
    QString RoomNumberText() const override { return QString(); }
    void SetInformation(const QString&) override {}
    void SetStatus(const QString&) override {}
    void ShowHall(bool) override {}
    void SetTitle(const QString&) override {}
    void SetTrayTip(const QString&) override {}
    void SetPanelAddress(EHallPanel, const QString&) override {}
    void RefreshAccount() override {}
    void ShowListWait(bool, const QString&, const QString&) override {}
    int TextWidth(const QString& text) const override {
        int width = 0;
        for (QChar c : text) {
            width += c.unicode() < 0x80 ? 7 : 14;
        }
        return width;
    }
    int RoomColumnWidth() const override { return 180; }
    int ScreenWidth() const override { return 1920; }
    int ScreenHeight() const override { return 1080; }
    bool ChangeDisplayMode(int, int) override { return true; }
    void RestoreDisplayMode() override {}
    size_t rooms = 0;
};

void BM_StartToFirstPresenceRequest(benchmark::State& state) {
    QTemporaryDir program;
    QTemporaryDir profiles;
    CProfileStore::SetRoot(profiles.path());
    CScriptedPrompt prompt;
    CScopedPrompt promptScope(prompt);
    CScriptedDialogHost dialogs;
    CScopedDialogHost dialogScope(dialogs);

    bool presence = false;
    CListener center(kTcpFrame, [&](CPeer& peer, CKParam& request) {
        if (request.Command() == CMD_VISITOR) {
            presence = true;
        }
    });
    const unsigned centerPort = center.Start();
    CListener route(kRouteFrame, [&](CPeer& peer, CKParam&) {
        CKParam reply;
        reply.SetShortInt(KEY_COMMAND, CMD_SERVER_INFO_REPLY);
        reply.SetInt(KEY_RESULT, 0);
        reply.SetCString(30, QStringLiteral("127.0.0.1"));
        reply.SetInt(50, static_cast<int>(centerPort));
        peer.KSend(reply);
    });
    const unsigned routePort = route.Start();
    CConfigServer web;
    web.body = QStringLiteral(
                   "<CONFIG><SERVER><IP>127.0.0.1</IP><PORT>%1</PORT><LASTVERSION>1</LASTVERSION>"
                   "</SERVER></CONFIG>")
                   .arg(routePort)
                   .toUtf8();
    const quint16 webPort = web.listen(QHostAddress::LocalHost, 0);
    CProfileStore::Open(QStringLiteral("TavoTavo"))
        .WriteString(QStringLiteral("Main"), QStringLiteral("UpdateURL"),
                     QStringLiteral("http://127.0.0.1:%1/cfg.xml").arg(webPort));

    tagAppStart start;
    start.programFolder = program.path();
    start.programPath = program.filePath(QStringLiteral("tavo"));
    start.commandLine = QStringLiteral("tavo");
    start.instanceName = QUuid::createUuid().toString(QUuid::WithoutBraces);
    start.installCrashHandler = false;
    CQuietView view;
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
        CAppState::Set(&appState);
        CTavoClientApp app(appState, &view, nullptr);
        app.Run(start);
        CAppState::Set(nullptr);
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
    CQuietView view;
    for (auto _ : state) {
        CHallLists lists(view);
        std::vector<tagRoomItem> rooms;
        ParseRoomDocument(text, rooms);
        lists.FillRoomsFromDocument(rooms);
        benchmark::DoNotOptimize(view.rooms);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillRoomList)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
