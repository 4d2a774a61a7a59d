#pragma once
// The whole client in this process, wired the way the programs wire it (start-up, hall, room
// entry, the room's voice), against the reference service in a process of its own. The window
// tests put the desktop windows on it; the voice tests and the voice-path benchmark run it
// headless with the room's voice, so it stands on Qt alone.

#include "app/client/HallRelay.h"
#include "audio/VoiceOwner.h"
#include "core/AppState.h"
#include "hall/TavoClientApp.h"
#include "platform/DialogHost.h"
#include "platform/Prompt.h"
#include "room/RoomEntry.h"
#include "tests/support/RecordingViews.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class CRoomAudio;
class CTavoClientDlg;

namespace tavotest {

class CClientHarness {
public:
    explicit CClientHarness(const QString& programFolder);
    virtual ~CClientHarness() = default;
    CClientHarness(const CClientHarness&) = delete;
    CClientHarness& operator=(const CClientHarness&) = delete;

    // Starts the client against the service through the programs' own run and runs body inside
    // the hall's loop once the client is present as a visitor and idle() says the start's own
    // dialogs are gone (they run loops of their own, and a body inside one would hold it up).
    // When the body returns the client quits the way a person does, answering with OK.
    EStartResult Run(const CServiceProcess& service, IHallView& hallView,
                     const std::function<bool()>& idle,
                     const std::function<void(CTavoClientDlg&)>& body);

    CTempConfig config;
    CAppState state;
    CScopedAppState stateScope{state};
    CScriptedPrompt prompt;
    CScopedPrompt promptScope{prompt};
    CHallRelay relay;
    CRoomEntry entry{relay};

protected:
    QString m_programFolder;
};

// Sits between the capture object and the room: counts every packet the capture thread hands
// to the room's connection and tells the moment it went, then passes it on unchanged.
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

// Headless, as the console program runs: views that keep what they are told, scripted
// dialogs, and the room's voice on whatever wave devices are selected.
class CVoiceClient : public CClientHarness {
public:
    explicit CVoiceClient(const QString& programFolder);
    ~CVoiceClient() override;

    EStartResult Run(const CServiceProcess& service,
                     const std::function<void(CTavoClientDlg&)>& body);
    // Inside the body: enters a room and waits for its window; takes the microphone and
    // waits until the capture runs.
    bool EnterRoom(CTavoClientDlg& hall, int room, std::chrono::milliseconds limit);
    bool TakeMic(std::chrono::milliseconds limit);
    CRoomAudio& Audio() { return *m_audio; }
    // Puts a tap between the room's capture object and the room.
    CVoiceTap& Tap();

private:
    CScriptedDialogHost m_dialogs;
    CScopedDialogHost m_dialogScope{m_dialogs};
    CRecordingView m_hallView;
    CRecordingRoomView m_roomView;
    CRecordingChatView m_publicView;
    CRecordingChatView m_privateView;
    CRoomAudio* m_audio = nullptr;
    std::unique_ptr<CVoiceTap> m_tap;
};

}  // namespace tavotest
