#pragma once
// The whole desktop client against the reference service in a process of its own: what the
// window tests that need a real service share.

#include "app/client/ClientOptions.h"
#include "app/client/HallRelay.h"
#include "hall/AppState.h"
#include "hall/TavoClientApp.h"
#include "hall/TavoClientDlg.h"
#include "room/RoomDlg.h"
#include "room/RoomEntry.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CoreDialogs.h"
#include "ui/HallWindow.h"
#include "ui/Icons.h"
#include "ui/QtDialogHost.h"
#include "ui/RoomWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>

namespace tavotest {

using namespace std::chrono_literals;

inline const QString kProgramFolder = QStringLiteral(TAVO_PROGRAM_DIR);

// The reference service built beside these tests.
class CService : public CServiceProcess {
public:
    CService() : CServiceProcess(QStringLiteral(TAVO_SERVERD)) {}
};

// The whole desktop client, wired as the program wires it, with a scripted prompt standing for
// the person's answers to message boxes.
struct CDesktopClient {
    // The pictures are there before any window takes its icons, as in the program.
    bool iconsLoaded = (CIcons::Load(kProgramFolder), true);
    CAppState state;
    CScriptedPrompt prompt;
    CScopedPrompt promptScope{prompt};
    CQtDialogHost host;
    CScopedDialogHost hostScope{host};
    CHallWindow hall{state};
    CHallRelay relay;
    CRoomEntry entry{relay};
    CRoomWindow room{entry.Room(), kProgramFolder};
    CTavoClientApp app{state, &hall, &entry};
    CDesktopClient() {
        CAppState::Set(&state);
        RegisterCoreDialogs(host, &hall);
        entry.Room().SetViews(&room, room.PublicView(), room.PrivateView());
    }
    ~CDesktopClient() { CAppState::Set(nullptr); }

    // Starts the client and runs the body inside the hall's own loop; the body's end quits.
    EStartResult Run(const CService& service, const std::function<void(CTavoClientDlg&)>& body) {
        tagClientOptions options;
        options.configUrl = service.ConfigUrl();
        options.serverHost = QStringLiteral("127.0.0.1");
        options.serverPort = service.InfoPort();
        ApplyClientOptions(options, kProgramFolder);
        // The body starts once the hall has finished its own start (its request dialogs run
        // loops of their own, and a body running inside one of them would hold it up).
        QTimer ready;
        ready.setInterval(20);
        app.SetHallHook([&](CTavoClientDlg& dlg) {
            relay.Attach(&dlg);
            QObject::connect(&ready, &QTimer::timeout, [&] {
                if (state.account.visitorName.isEmpty() || QApplication::activeModalWidget()) {
                    return;
                }
                ready.stop();
                body(dlg);
                dlg.Quit();
            });
            ready.start();
        });
        tagAppStart start;
        start.programFolder = kProgramFolder;
        start.commandLine = QStringLiteral("tavo");
        start.instanceName = QStringLiteral("tavo-ui-flow-test-instance");
        const EStartResult result = app.Run(start);
        relay.Attach(nullptr);
        return result;
    }
};

inline QPushButton* Button(QWidget& window, const char* name) {
    return window.findChild<QPushButton*>(name);
}

// Runs an action once a top-level window with that object name is shown.
inline void WhenShown(const QString& name, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == name && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(w);
                return;
            }
        }
    });
    timer->start();
}

}  // namespace tavotest
