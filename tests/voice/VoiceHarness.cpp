#include "tests/voice/VoiceHarness.h"

#include "app/client/ClientOptions.h"
#include "app/client/ClientRun.h"
#include "audio/MyWaveIn.h"
#include "audio/SoundConfigDlg.h"
#include "hall/TavoClientDlg.h"
#include "platform/Profile.h"
#include "room/MicOrder.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <unistd.h>

namespace voicetest {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= limit.count()) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents();
        ::usleep(2000);
    }
    return true;
}

void Pass(std::chrono::milliseconds time) {
    WaitFor([] { return false; }, time);
}

// --- the tap -------------------------------------------------------------------------------

void CVoiceTap::SendVoicePacket(CKParam& packet) {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_onSent) {
            m_onSent(now);
        }
    }
    ++m_sent;
    m_room.SendVoicePacket(packet);
}

void CVoiceTap::OnSent(FSent callback) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_onSent = std::move(callback);
}

// --- the client ----------------------------------------------------------------------------

CVoiceClient::CVoiceClient(const QString& programFolder) : m_programFolder(programFolder) {
    CProfileStore::SetRoot(m_config.path());
    CAppState::Set(&m_state);
    m_entry.Room().SetViews(&m_roomView, &m_publicView, &m_privateView);
    m_audio = &CRoomAudio::Install(m_entry.Room());
    // The sound settings are taken as they stand, as the console client takes them.
    m_dialogs.Default(CSoundConfigDlg::IDD, [](CDialogModel& d) { d.OnOK(); });
}

CVoiceClient::~CVoiceClient() {
    // The capture thread must not find the tap gone.
    m_audio->Capture().StopCapture();
    m_audio->Capture().SetRoomWindow(m_audio);
    m_relay.Attach(nullptr);
    CAppState::Set(nullptr);
    CProfileStore::SetRoot(QString());
}

CVoiceTap& CVoiceClient::Tap() {
    if (!m_tap) {
        m_tap = std::make_unique<CVoiceTap>(*m_audio);
        m_audio->Capture().SetRoomWindow(m_tap.get());
    }
    return *m_tap;
}

EStartResult CVoiceClient::Run(const CServiceProcess& service,
                               const std::function<void(CTavoClientDlg&)>& body) {
    tagClientOptions options;
    options.configUrl = service.ConfigUrl();
    options.serverHost = QStringLiteral("127.0.0.1");
    options.serverPort = service.InfoPort();
    ApplyClientOptions(options, m_programFolder);
    // The body starts once the hall has finished its own start: its request dialogs run loops
    // of their own, and a body inside one of them would hold it up.
    QTimer ready;
    ready.setInterval(20);
    m_app.SetHallHook([&](CTavoClientDlg& hall) {
        m_relay.Attach(&hall);
        QObject::connect(&ready, &QTimer::timeout, [&] {
            if (m_state.account.visitorName.isEmpty() || m_dialogs.OpenDialogs().size() != 1) {
                return;
            }
            ready.stop();
            body(hall);
            m_prompt.Answer(IDOK);
            hall.Quit();
        });
        ready.start();
    });
    tagAppStart start;
    start.programFolder = m_programFolder;
    start.commandLine = QStringLiteral("tavo-cli");
    start.instanceName = QStringLiteral("tavo-voice-test#%1").arg(::getpid());
    start.installCrashHandler = false;
    const EStartResult result = RunClient(m_app, start);
    m_relay.Attach(nullptr);
    return result;
}

bool CVoiceClient::EnterRoom(CTavoClientDlg& hall, int room, std::chrono::milliseconds limit) {
    hall.EnterRoom(room);
    return WaitFor(
        [&] {
            return m_entry.IsRoomOpen() && m_entry.Room().IsShown() &&
                   m_dialogs.OpenDialogs().size() == 1;
        },
        limit);
}

bool CVoiceClient::TakeMic(std::chrono::milliseconds limit) {
    m_entry.Room().Mic().Grab();
    return WaitFor([&] { return m_audio->Capture().IsCapturing() && !m_audio->IsCapturePaused(); },
                   limit);
}

}  // namespace voicetest
