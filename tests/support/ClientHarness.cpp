#include "tests/support/ClientHarness.h"

#include "app/client/ClientOptions.h"
#include "app/client/ClientRun.h"
#include "audio/MyWaveIn.h"
#include "audio/SoundConfigDlg.h"
#include "hall/TavoClientDlg.h"
#include "room/MicOrder.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"

#include <QTimer>

#include <unistd.h>

namespace tavotest {

CClientHarness::CClientHarness(const QString& programFolder) : m_programFolder(programFolder) {}

EStartResult CClientHarness::Run(const CServiceProcess& service, IHallView& hallView,
                                 const std::function<bool()>& idle,
                                 const std::function<void(CTavoClientDlg&)>& body) {
    tagClientOptions options;
    options.configUrl = service.ConfigUrl();
    options.serverHost = QStringLiteral("127.0.0.1");
    options.serverPort = service.InfoPort();
    ApplyClientOptions(options, m_programFolder);
    CTavoClientApp app(state, &hallView, &entry);
    QTimer ready;
    ready.setInterval(20);
    app.SetHallHook([&](CTavoClientDlg& hall) {
        relay.Attach(&hall);
        QObject::connect(&ready, &QTimer::timeout, [&] {
            if (state.account.visitorName.isEmpty() || !idle()) {
                return;
            }
            ready.stop();
            body(hall);
            prompt.Answer(IDOK);
            hall.Quit();
        });
        ready.start();
    });
    tagAppStart start;
    start.programFolder = m_programFolder;
    start.commandLine = QStringLiteral("tavo");
    start.instanceName = QStringLiteral("tavo-test#%1").arg(::getpid());
    start.installCrashHandler = false;
    const EStartResult result = RunClient(app, start);
    relay.Attach(nullptr);
    return result;
}

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

CVoiceClient::CVoiceClient(const QString& programFolder) : CClientHarness(programFolder) {
    entry.Room().SetViews(&m_roomView, &m_publicView, &m_privateView);
    m_audio = &CRoomAudio::Install(entry.Room());
    // The sound settings are taken as they stand, as the console client takes them.
    m_dialogs.Default(CSoundConfigDlg::IDD, [](CDialogModel& d) { d.OnOK(); });
}

CVoiceClient::~CVoiceClient() {
    // The capture thread must not find the tap gone.
    m_audio->Capture().StopCapture();
    m_audio->Capture().SetRoomWindow(m_audio);
}

EStartResult CVoiceClient::Run(const CServiceProcess& service,
                               const std::function<void(CTavoClientDlg&)>& body) {
    return CClientHarness::Run(
        service, m_hallView, [&] { return m_dialogs.OpenDialogs().size() == 1; }, body);
}

CVoiceTap& CVoiceClient::Tap() {
    if (!m_tap) {
        m_tap = std::make_unique<CVoiceTap>(*m_audio);
        m_audio->Capture().SetRoomWindow(m_tap.get());
    }
    return *m_tap;
}

bool CVoiceClient::EnterRoom(CTavoClientDlg& hall, int room, std::chrono::milliseconds limit) {
    hall.EnterRoom(room);
    return WaitUntil(
        [&] {
            return entry.IsRoomOpen() && m_roomView.shown && m_dialogs.OpenDialogs().size() == 1;
        },
        limit);
}

bool CVoiceClient::TakeMic(std::chrono::milliseconds limit) {
    entry.Room().Mic().Grab();
    return WaitUntil([&] { return m_audio->Capture().IsCapturing(); }, limit);
}

}  // namespace tavotest
