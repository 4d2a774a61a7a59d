#include "hall/TavoClientApp.h"

#include "core/AppState.h"
#include "hall/Edition.h"
#include "hall/HallView.h"
#include "hall/PictureSets.h"
#include "hall/Response2Dlg.h"
#include "hall/Settings.h"
#include "hall/TavoClientDlg.h"
#include "infra/TraceLog.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "platform/System.h"
#include "protocol/Commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kMain = QStringLiteral("Main");
constexpr int kMinScreenWidth = 1024;
constexpr int kMinScreenHeight = 768;

}  // namespace

CTavoClientApp::CTavoClientApp(CAppState& state, IHallView* view, IRoomEntry* room)
    : m_state(state), m_view(view), m_room(room) {}

bool CTavoClientApp::ConfigRead() const {
    return m_state.configRead;
}

QString CTavoClientApp::CommandLine(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return QString();
    }
    QStringList parts = arguments;
    parts[0] = QFileInfo(parts[0]).fileName();
    return parts.join(QLatin1Char(' '));
}

int CTavoClientApp::InstanceLimit(int edition) {
    return edition == EDITION_50 ? 8 : 1;
}

EStartResult CTavoClientApp::InitInstance(const tagAppStart& start) {
    // 1. The crash handler first, so every later step is covered.
    // Dumps go to the user's cache folder: an installed program's folder is not the user's to
    // write, and the working folder is wherever the program was started from.
    tagCrashSetup crash = start.crashSetup;
    if (crash.dumpFolder.empty()) {
        crash.dumpFolder = QFile::encodeName(CacheFolder()).toStdString();
    }
    if (start.installCrashHandler && CCrashCapture::Install(crash) != 0) {
        TheTraceLog().Write(TRACE_ERROR, "CTavoClientApp", "crash handler not installed");
    }

    // 2. The socket layer.
    if (!SocketLayerAvailable()) {
        MessageBox(LoadString(IDS_SOCKET_INIT_FAILED));
        return EStartResult::SocketFailed;
    }

    // 3. Edition and settings.
    SettleEdition(start);
    ReadSettings();

    // 4. The client version number.
    m_state.clientVersion = ClientVersionNumber(ProgramVersion());

    // 5. Running copies.
    if (!CheckInstances(start)) {
        return EStartResult::AlreadyRunning;
    }

    // 6. The screen.
    CheckScreen();

    // 7. Pictures. 8. Skin colours belong to the windows, which load them with their skin.
    LoadPictures();

    // 9. Editions with an updater of their own say so at every start.
    const QString updater = EditionUpdater(m_state.edition);
    if (!updater.isEmpty()) {
        CAppProfile::WriteProfileString(kMain, QStringLiteral("UpdateAppName"), updater);
        m_state.settings.updateAppName = updater;
    }

    // 10. The server configuration document.
    FetchConfiguration();

    // 11. The upgrade question.
    EStartResult result = EStartResult::Run;
    if (m_state.configRead && OfferUpgrade(m_config, result)) {
        return result;
    }

    // 12. The document refreshes the profile; the profile (the last good document, or the
    // defaults) then gives every setting.
    CProfileStore& profile = CAppProfile::Store();
    if (m_state.configRead) {
        WriteConfigToProfile(m_config, profile);
    }
    ReadSettings();
    if (m_state.configRead) {
        ApplyConfigExtras(m_config, m_state.edition, m_state.settings);
    }
    m_state.account.adapterAddress = MachineAdapterAddress();
    if (m_state.account.adapterAddress.isEmpty()) {
        m_state.account.adapterAddress = QStringLiteral("00-00-00-00-00-00");
    }

    // 13. The room to enter at start.
    m_state.startRoom = ParseStartRoom(start.commandLine);
    return EStartResult::Run;
}

EStartResult CTavoClientApp::Run(const tagAppStart& start) {
    const EStartResult result = InitInstance(start);
    if (result != EStartResult::Run || !m_view) {
        return result;
    }
    // 14. The hall window is the main window until the user quits.
    CTavoClientDlg hall(m_state, *m_view, m_room);
    if (m_hallHook) {
        m_hallHook(hall);
    }
    hall.DoModal();
    // Whoever opened the trace log, the application closes it as it ends.
    TheTraceLog().Close();
    return result;
}

void CTavoClientApp::SettleEdition(const tagAppStart& start) {
    const QString programPath = start.programPath.isEmpty() ? ProgramFilePath() : start.programPath;
    m_state.programFolder = ProgramFolder(start.programFolder, programPath);
    m_state.editionName = ReadEditionName(m_state.programFolder);
    m_state.edition = EditionCode(m_state.editionName);
    CProfileStore::Open(QStringLiteral("Common"))
        .WriteString(kMain, QStringLiteral("VerRegItem"), m_state.editionName);
    CAppProfile::SetProfileName(m_state.editionName);
    CProfileStore& profile = CAppProfile::Store();
    RepairIntegerSettings(profile);
    profile.WriteString(kMain, QStringLiteral("AppNamePath"), programPath);
}

void CTavoClientApp::ReadSettings() {
    LoadSettings(CAppProfile::Store(), DefaultHallAddress(m_state.editionName), m_state.settings);
    // The language chooses the string table and the code page of text on the wire.
    SetStringLanguage(m_state.settings.language);
    SetAnsiCodePage(CodePageForLanguage(m_state.settings.language));
}

bool CTavoClientApp::CheckInstances(const tagAppStart& start) {
    QString name = start.instanceName;
    if (name.isEmpty()) {
        name = QFileInfo(start.programPath.isEmpty() ? ProgramFilePath() : start.programPath)
                   .fileName();
    }
    const int running = CountProcessesNamed(name);
    if (running <= InstanceLimit(m_state.edition)) {
        return true;
    }
    MessageBox(LoadString(m_state.edition == EDITION_50 ? IDS_EIGHT_INSTANCES : IDS_ONE_INSTANCE));
    return false;
}

void CTavoClientApp::CheckScreen() {
    // A desktop's resolution is the person's to choose and its scale makes the usable area
    // smaller still, so a small screen is not a question to ask: the windows fit themselves.
    m_state.fitWindowsToScreen =
        m_view && (m_view->ScreenWidth() < kMinScreenWidth || m_view->ScreenHeight() < kMinScreenHeight);
}

void CTavoClientApp::LoadPictures() {
    if (!LoadPictureSets(m_state.programFolder, m_state.pictures)) {
        MessageBox(LoadString(IDS_FACES_FAILED));
    }
}

void CTavoClientApp::FetchConfiguration() {
    m_state.configRead = false;
    m_config = tagConfigDocument();
    CResponse2Dlg dlg(&m_state);
    dlg.SetCommand(CMD_CONFIG_PAGE);
    dlg.SetPageAddress(m_state.settings.updateUrl);
    if (dlg.DoModal() != IDOK) {
        TheTraceLog().Write(TRACE_ALARM, "CTavoClientApp", "configuration document not fetched");
        return;
    }
    m_state.configRead = ParseConfigDocument(dlg.PageText(), m_config);
    if (!m_state.configRead) {
        TheTraceLog().Write(TRACE_ERROR, "CTavoClientApp", "configuration document not readable");
    }
}

bool CTavoClientApp::OfferUpgrade(const tagConfigDocument& doc, EStartResult& result) {
    if (doc.LastVersion() <= m_state.clientVersion) {
        return false;
    }
    const QString question = m_state.settings.verName + LoadString(IDS_NEW_VERSION_START);
    if (MessageBox(question, QStringLiteral("Warning"), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        StartUpdater();
        result = EStartResult::UpgradeStarted;
    } else {
        result = EStartResult::UpgradeDeclined;
    }
    return true;
}

void CTavoClientApp::StartUpdater() {
    if (!StartProgram(m_state.settings.updateAppName, {QString::number(m_state.clientVersion)},
                      m_state.programFolder)) {
        TheTraceLog().Write(TRACE_ERROR, "CTavoClientApp", "updater %s not started",
                            qUtf8Printable(m_state.settings.updateAppName));
    }
}
