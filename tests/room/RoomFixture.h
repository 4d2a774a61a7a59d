#pragma once
// The room against a scripted room server (the main and the second port, real loopback TCP),
// with a hall that records what the room side asks of it and posts its messages back as the
// hall window would, and views that keep what they were told to draw.

#include "core/AppState.h"
#include "core/Notifier.h"
#include "core/RoomGateway.h"
#include "platform/MessageWindow.h"
#include "protocol/Commands.h"
#include "room/Gifts.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "room/VoiceSender.h"
#include "tests/support/Loopback.h"
#include "tests/support/PacketFields.h"
#include "tests/support/RecordingViews.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <memory>
#include <vector>

namespace tavotest {

// Stands for the audio layer, which is not part of these tests: it records the calls.
class CRecordingVoice : public IVoiceSender {
public:
    int BeginSpeaking() override {
        calls << QStringLiteral("begin");
        return BEGIN_OK;
    }
    void EndSpeaking() override { calls << QStringLiteral("end"); }
    void Teardown(bool keep) override { calls << QStringLiteral("teardown"); }
    QStringList calls;
};

// The desktop notices raised while it lives, as "kind title: text".
struct CRecordingNotifier : INotifier {
    void Notify(ENotice kind, const QString& title, const QString& text) override {
        notices << QStringLiteral("%1 %2: %3").arg(kind).arg(title, text);
    }
    QStringList notices;
    CScopedService<INotifier> scope{*this};
};

// The gift animations the room asks to show.
struct CRecordingGiftView : IGiftView {
    void ShowGiftAnimation(const tagGiftAnimation& a) override { shown.push_back(a); }
    std::vector<tagGiftAnimation> shown;
};

// The hall window as far as the room side sees it. Messages are posted back to the entry
// through a message window, as the hall window's own message loop would deliver them.
class CRecordingHall : public IHallServices, public CMessageWindow {
public:
    CRecordingHall() { CreateMessageWindow(QStringLiteral("Hall")); }
    ~CRecordingHall() override { DestroyMessageWindow(); }
    void RequestRoomAddress(int room) override;
    void SetHallStatus(const QString& text) override { statuses << text; }
    void ShowHall(bool show) override {}
    void StartVerifyTimer(bool start) override { verifyTimer = start; }
    void OpenLogin() override { ++loginsOpened; }
    void PostToHall(unsigned msg, unsigned wParam, long lParam) override;

    CRoomEntry* entry = nullptr;
    unsigned mainPort = 0;
    QStringList statuses;
    bool verifyTimer = false;
    int loginsOpened = 0;
    std::vector<int> addressRequests;
    std::vector<std::pair<unsigned, unsigned>> posted;  // message, wParam

protected:
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
};

// A member text of the member list with 23 fields.
QString MemberText(const QString& id, const QString& nick, int rank, bool registered = true,
                   bool flagB = false);

// A member record with its identifier and nickname alone.
UserInfo Member(const QString& id, const QString& nick);

// The room server: answers the entry and the fetches as configured, on two loopback ports.
struct CScriptedRoomServer {
    CScriptedRoomServer();
    // Sends a packet to the client's main connection (the last one accepted).
    void SendMain(CKParam&& packet) { MainPeer()->KSend(packet); }
    CTestConnection* MainPeer() { return main.PeerCount() ? &main.LastPeer() : nullptr; }
    CTestConnection* SecondPeer() { return second.PeerCount() ? &second.LastPeer() : nullptr; }

    CLoopbackServer main;
    CLoopbackServer second;
    int refuseLogin = 0;     // the refusal code of the room login; 0 accepts, -1 refuses unnamed
    int refuseVerified = 0;  // the refusal code of the user-verified notice; 0 verifies
    tagFields loginExtra;
    std::vector<int> refuseEntry;  // refusal codes for successive entry requests; empty accepts
    tagFields entryExtra;
    int room = 1234;
    QString entryText;
    QStringList members;
    // Fields the settings reply carries before the defaults.
    tagFields settings;
};

// Application state, clock, scripted prompt and dialogs, and an entry with views installed.
struct CRoomFixture {
    CRoomFixture();
    ~CRoomFixture();
    // Runs the whole entry into the room; true when the room is shown and its settings drawn.
    bool Enter(int room = 1234);
    CRoomDlg& Room() { return entry->Room(); }
    // Hands the room a packet as if it came from the server, without the network.
    void Deliver(CKParam&& packet) { Room().DispatchPacket(packet); }
    // Opens the room window without any network, for the handlers alone.
    void OpenOffline();
    // The microphone `which` (1 main, 2 second) taken by holder, or freed when it is empty;
    // turnEnded says the previous holder's turn ran out.
    void MicTaken(const QString& holder, short which = 1, short turnEnded = 0) {
        Deliver(Packet(CMD_MIC_TAKEN, {{20, holder}, {30, which}, {40, turnEnded}}));
    }
    // What the room server got of a command on the main connection, once what is on its way
    // has arrived.
    std::vector<CPacketCopy> SentMain(short command) {
        Spin(std::chrono::milliseconds(30));
        return server.main.Received(command);
    }

    CManualClock clock;
    CScopedClock clockScope{clock};
    CTempConfig config;
    CScriptedUi ui;
    CAppState app;
    CScopedAppState appScope{app};
    CRecordingHall hall;
    CScriptedRoomServer server;
    CRecordingRoomView roomView;
    CRecordingChatView publicView;
    CRecordingChatView privateView;
    CRecordingVoice voice;
    std::unique_ptr<CRoomEntry> entry;
};

// A packet of a command with text fields, in key order from 20 by tens: how most of the
// room's announcements look ("CMD, id, by").
CKParam Announcement(short command, const QStringList& texts);

}  // namespace tavotest
