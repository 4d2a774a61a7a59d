#pragma once
// A speaking client on the whole road: the reference service in a process of its own, and in
// this process the client's parts wired the way the programs wire them (start-up, hall, room
// entry, the room's voice) with headless views and a scripted prompt and dialog host. Used by
// the voice tests and by the voice-path benchmark, so it stands on Qt alone.

#include "app/client/HallRelay.h"
#include "audio/VoiceOwner.h"
#include "hall/AppState.h"
#include "hall/HallView.h"
#include "hall/TavoClientApp.h"
#include "platform/DialogHost.h"
#include "platform/Prompt.h"
#include "room/RoomEntry.h"
#include "room/RoomView.h"
#include "tests/support/ServiceProcess.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CRoomAudio;
class CTavoClientDlg;

namespace voicetest {

// Runs the event loop until done() holds or the time is up; the last answer of done().
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);
// Runs the event loop for a while.
void Pass(std::chrono::milliseconds time);

using tavotest::CServiceProcess;

// A hall drawn nowhere.
class CHeadlessHallView : public IHallView {
public:
    void SetAreaList(int, const std::vector<tagListEntry>&) override {}
    void SetRoomList(const std::vector<tagListEntry>&) override {}
    void SetRoomMark(int, EListMark) override {}
    void SetRoomNumberText(const QString& text) override { m_roomNumber = text; }
    QString RoomNumberText() const override { return m_roomNumber; }
    void SetInformation(const QString&) override {}
    void SetStatus(const QString&) override {}
    void ShowHall(bool) override {}
    void SetTitle(const QString&) override {}
    void SetTrayTip(const QString&) override {}
    void SetPanelAddress(EHallPanel, const QString&) override {}
    void RefreshAccount() override {}
    void ShowListWait(bool, const QString&, const QString&) override {}
    int TextWidth(const QString& text) const override { return 7 * text.size(); }
    int RoomColumnWidth() const override { return 200; }
    int ScreenWidth() const override { return 1920; }
    int ScreenHeight() const override { return 1080; }
    bool ChangeDisplayMode(int, int) override { return true; }
    void RestoreDisplayMode() override {}

private:
    QString m_roomNumber;
};

// A chat page that keeps the fragments inserted into it.
class CTextChatView : public IChatView {
public:
    bool InsertAtFirstTd(const QString& fragment) override {
        m_fragments << fragment;
        return true;
    }
    void Clear() override { m_fragments.clear(); }
    bool Has(const QString& part) const { return m_fragments.join(QString()).contains(part); }

private:
    QStringList m_fragments;
};

// Sits between the capture object and the room: notes the time and the count of every packet
// the capture thread hands to the room's connection, then passes everything on unchanged.
class CVoiceTap : public IVoiceOwner {
public:
    using FSent = std::function<void(std::chrono::steady_clock::time_point)>;
    explicit CVoiceTap(IVoiceOwner& room) : m_room(room) {}

    QString VoiceOwnId() const override { return m_room.VoiceOwnId(); }
    tagMicState VoiceMicState() const override { return m_room.VoiceMicState(); }
    void PostVoiceMeter(int meter, int loud) override { m_room.PostVoiceMeter(meter, loud); }
    void SendVoicePacket(CKParam& packet) override;

    int Sent() const { return m_sent.load(); }
    // Called on the capture thread with the moment the packet went to the connection.
    void OnSent(FSent callback);

private:
    IVoiceOwner& m_room;
    std::atomic<int> m_sent{0};
    std::mutex m_mutex;
    FSent m_onSent;
};

// One whole client in this process, as the console program wires it.
class CVoiceClient {
public:
    // programFolder: where cfg.ini and the chat pages are.
    explicit CVoiceClient(const QString& programFolder);
    ~CVoiceClient();
    CVoiceClient(const CVoiceClient&) = delete;
    CVoiceClient& operator=(const CVoiceClient&) = delete;

    // Starts the client against the service through the programs' own run, and runs body
    // inside the hall's loop once the client is present as a visitor. When the body returns
    // the client quits the way a person does, answering the question with OK.
    EStartResult Run(const CServiceProcess& service,
                     const std::function<void(CTavoClientDlg&)>& body);

    // Inside the body: enters a room and waits for its window; takes the microphone and
    // waits until the capture runs.
    bool EnterRoom(CTavoClientDlg& hall, int room, std::chrono::milliseconds limit);
    bool TakeMic(std::chrono::milliseconds limit);

    CAppState& State() { return m_state; }
    CRoomEntry& Entry() { return m_entry; }
    CRoomAudio& Audio() { return *m_audio; }
    CScriptedPrompt& Prompt() { return m_prompt; }
    // Whether a room line (public or private) contained the text.
    bool HeardLine(const QString& text) const {
        return m_publicView.Has(text) || m_privateView.Has(text);
    }
    // Puts a tap between the room's capture object and the room.
    CVoiceTap& Tap();

private:
    QTemporaryDir m_config;
    QString m_programFolder;
    CAppState m_state;
    CScriptedPrompt m_prompt;
    CScopedPrompt m_promptScope{m_prompt};
    CScriptedDialogHost m_dialogs;
    CScopedDialogHost m_dialogScope{m_dialogs};
    CHeadlessHallView m_hallView;
    IRoomView m_roomView;
    CTextChatView m_publicView;
    CTextChatView m_privateView;
    CHallRelay m_relay;
    CRoomEntry m_entry{m_relay};
    CRoomAudio* m_audio = nullptr;
    std::unique_ptr<CVoiceTap> m_tap;
    CTavoClientApp m_app{m_state, &m_hallView, &m_entry};
};

}  // namespace voicetest
