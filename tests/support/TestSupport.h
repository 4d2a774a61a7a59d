#pragma once
// What every test program shares: helpers to wait on the event loop, a scoped test
// environment (manual clock, scripted prompt and dialogs), and loopback helpers.

#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "platform/Prompt.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace tavotest {

// Runs the event loop until pred() holds or the time (real time) runs out.
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds limit = std::chrono::seconds(5));
// Runs the event loop for a while.
void Spin(std::chrono::milliseconds time);

// A private configuration folder for the life of a test.
class CTempConfig {
public:
    CTempConfig();
    ~CTempConfig();
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Scripted prompt and dialog host installed for a scope.
struct CScriptedUi {
    CScriptedPrompt prompt;
    CScriptedDialogHost dialogs;
    CScopedPrompt promptScope{prompt};
    CScopedDialogHost dialogScope{dialogs};
};

}  // namespace tavotest
