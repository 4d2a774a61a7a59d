#pragma once
// The application object: starts the client in a fixed order (crash handler, socket layer,
// edition and settings, version, running copies, screen, pictures, the server configuration
// document, the upgrade question, identity, start room) and then runs the hall window until
// the user quits. It owns the settings and the account state for the whole run.

#include "hall/ConfigDocument.h"
#include "infra/CrashCapture.h"

#include <QString>

#include <functional>

class CAppState;
class CTavoClientDlg;
class IHallView;
class IRoomEntry;

// What the program tells the application object about itself.
struct tagAppStart {
    QString programFolder;  // where cfg.ini, img/ and the pages are; empty: the program's folder
    QString programPath;    // the running program; empty: read from the system
    QString commandLine;    // the program's name, a blank, then its arguments
    // The name counted among running processes; empty: the program's file name.
    QString instanceName;
    bool installCrashHandler = true;
    tagCrashSetup crashSetup;
};

enum class EStartResult {
    Run,              // start-up is done: the hall may run
    SocketFailed,     // the socket layer is unavailable
    AlreadyRunning,   // too many copies run already
    UpgradeStarted,   // a newer version was announced and the updater started
    UpgradeDeclined,  // a newer version was announced and the user said no
};

class CTavoClientApp {
public:
    CTavoClientApp(CAppState& state, IHallView* view, IRoomEntry* room);

    // Every start-up step before the hall window.
    EStartResult InitInstance(const tagAppStart& start);
    // InitInstance, then the hall window run modally until the user quits (when there is a view
    // to show it). Returns the start-up result.
    EStartResult Run(const tagAppStart& start);
    // Called with the hall window once it exists and before it runs: the program connects the
    // room side to it here.
    void SetHallHook(std::function<void(CTavoClientDlg&)> hook) { m_hallHook = std::move(hook); }

    // Whether the server configuration document was fetched and read at this start.
    bool ConfigRead() const;
    const tagConfigDocument& Config() const { return m_config; }

    // "name arguments...": the program's file name (without folders, which may hold blanks)
    // followed by the arguments, each after one blank.
    static QString CommandLine(const QStringList& arguments);
    // More copies than this (this one included) may not run.
    static int InstanceLimit(int edition);

private:
    void SettleEdition(const tagAppStart& start);
    void ReadSettings();
    bool CheckInstances(const tagAppStart& start);
    void CheckScreen();
    void LoadPictures();
    void FetchConfiguration();
    bool OfferUpgrade(const tagConfigDocument& doc, EStartResult& result);
    void StartUpdater();

    CAppState& m_state;
    IHallView* m_view;
    IRoomEntry* m_room;
    tagConfigDocument m_config;
    std::function<void(CTavoClientDlg&)> m_hallHook;
};
