#pragma once
// What the room tests share: a scripted room server (the main and the second port, both real
// loopback TCP), a hall that records what the room side asks of it and posts its messages
// back as the hall window would, and views that keep what they were told to draw.

#include "hall/AppState.h"
#include "hall/RoomGateway.h"
#include "platform/MessageWindow.h"
#include "room/MemberList.h"
#include "room/RoomEntry.h"
#include "room/RoomView.h"
#include "room/VoiceSender.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace tavotest {

// One chat page. It has a first TD unless told otherwise.
class CRecordingChatView : public IChatView {
public:
    void LoadPage(const QString& page) override {
        this->page = page;
        fragments.clear();
    }
    bool InsertAtFirstTd(const QString& fragment) override {
        if (!hasTd) {
            return false;
        }
        fragments << fragment;
        return true;
    }
    void ScrollTo(int x, int y) override { ++scrolls; }
    void Clear() override { fragments.clear(); }
    QString All() const { return fragments.join(QString()); }
    bool Has(const QString& part) const { return All().contains(part); }

    QString page;
    QStringList fragments;
    bool hasTd = true;
    int scrolls = 0;
};

class CRecordingRoomView : public IRoomView {
public:
    void ShowRoomWindow(bool show) override { shown = show; }
    void RedrawMembers(const CMemberList& members, const QString& count) override {
        ++redraws;
        countText = count;
    }
    void SetChatTargetLabel(const QString& text) override { targetLabel = text; }
    void SetMicMode(const QString& text) override { micMode = text; }
    void SetMainMic(const QString& holder, const QString& time) override {
        mainHolder = holder;
        mainTime = time;
    }
    void SetSecondMic(const QString& holder, const QString& time) override {
        secondHolder = holder;
        secondTime = time;
    }
    void RedrawQueue(const std::vector<const UserInfo*>& q) override {
        queue.clear();
        for (const UserInfo* m : q) {
            queue << m->id;
        }
    }
    void SetTopic(const QString& title, const QString& text) override { topic = text; }
    void SetTimedNotices(const QStringList& n) override { notices = n; }
    void ShowTextNotice(const QString& text) override { textNotices << text; }
    void AddSideListEntry(const QString& entry) override { sideList << entry; }

    bool shown = false;
    int redraws = 0;
    QString countText, targetLabel, micMode, mainHolder, mainTime, secondHolder, secondTime, topic;
    QStringList queue, notices, textNotices, sideList;
};

// Stands for the audio layer, which is not part of these tests: it records the calls.
class CRecordingVoice : public IVoiceSender {
public:
    int BeginSpeaking() override {
        calls << QStringLiteral("begin");
        return result;
    }
    void EndSpeaking() override { calls << QStringLiteral("end"); }
    void Teardown(bool keep) override { calls << QStringLiteral("teardown"); }
    QStringList calls;
    int result = BEGIN_OK;
};

// The hall window as far as the room side sees it. Messages are posted back to the entry
// through a message window, as the hall window's own message loop would deliver them.
class CRecordingHall : public IHallServices, public CMessageWindow {
public:
    CRecordingHall();
    ~CRecordingHall() override;
    void RequestRoomAddress(int room) override;
    void SetHallStatus(const QString& text) override { statuses << text; }
    void ShowHall(bool show) override { hallShown = show; }
    void StartVerifyTimer(bool start) override { verifyTimer = start; }
    void OpenLogin() override { ++loginsOpened; }
    void PostToHall(unsigned msg, unsigned wParam, long lParam) override;

    CRoomEntry* entry = nullptr;
    unsigned mainPort = 0;
    QStringList statuses;
    bool hallShown = true;
    bool verifyTimer = false;
    int loginsOpened = 0;
    std::vector<int> addressRequests;
    struct Posted {
        unsigned msg, wParam;
        long lParam;
    };
    std::vector<Posted> posted;
    // Whether the hall hands messages 1357 and 1034 on to the entry.
    bool forward = true;

protected:
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
};

// A member text of the member list with 23 fields.
QString MemberText(const QString& id, const QString& nick, int rank, bool registered = true,
                   bool flagB = false, bool hidden = false);

// The room server: answers the entry and the fetches as configured, on two loopback ports.
class CScriptedRoomServer {
public:
    CScriptedRoomServer();
    bool Start();
    unsigned MainPort() const { return main.Port(); }
    unsigned SecondPort() const { return second.Port(); }

    // Sends a packet to the client's main connection (the last one accepted).
    void SendMain(const std::function<void(CKParam&)>& build);
    CLoopbackPeer* MainPeer();
    CLoopbackPeer* SecondPeer();

    CLoopbackServer main;
    CLoopbackServer second;
    int refuse123 = 0;  // refusal code for 123; 0 accepts
    bool refuse123WithoutCode = false;  // refuses 123 naming no reason
    std::function<void(CKParam&)> extra123;
    bool send120 = true;
    std::vector<int> refuse111;  // refusal codes for successive 110 requests; empty accepts
    bool answer110 = true;
    std::function<void(CKParam&)> extra111;
    int room = 1234;
    int keyA = 77;
    int keyB = 88;
    QString entryText;
    QStringList members;
    std::function<void(CKParam&)> settings;
    bool answerText = true;
};

// Application state, clock, scripted prompt and dialogs, and an entry with views installed.
struct CRoomFixture {
    CRoomFixture();
    ~CRoomFixture();
    // Runs the whole entry into room number room; true when the room is shown and fetched.
    bool Enter(int room = 1234);
    CRoomDlg& Room() { return entry->Room(); }
    // Hands the room a packet as if it came from the server, without the network.
    void Deliver(const std::function<void(CKParam&)>& build);
    // Opens the room window without any network, for the handlers alone.
    void OpenOffline(const QString& ownId = QStringLiteral("me"));

    CManualClock clock;
    CScopedClock clockScope{clock};
    CTempConfig config;
    CScriptedUi ui;
    CAppState app;
    CRecordingHall hall;
    CScriptedRoomServer server;
    CRecordingRoomView roomView;
    CRecordingChatView publicView;
    CRecordingChatView privateView;
    CRecordingVoice voice;
    std::unique_ptr<CRoomEntry> entry;
};

}  // namespace tavotest
