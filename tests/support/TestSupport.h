#pragma once
// What every test program shares: waiting on the event loop, a private configuration folder,
// the scripted prompt and dialogs, and outside programs a test needs.

#include "platform/Clock.h"
#include "platform/DialogHost.h"
#include "platform/Prompt.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <ostream>

// Test failures print texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class QProcessEnvironment;

namespace tavotest {

// Runs the event loop until pred() holds or the time (real time) runs out.
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds limit = std::chrono::seconds(5));
// Runs the event loop for a while.
void Spin(std::chrono::milliseconds time);

// Whether a program is on this machine, and running one: false when it is missing or fails.
bool HaveProgram(const QString& program);
bool RunProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
                int timeoutMs = 60000);
// Whether a missing tool (a program, a sound server) fails the test rather than skips it:
// CI installs every tool and says so with TAVO_REQUIRE_TOOLS=1; a developer's machine may lack
// one.
bool ToolsRequired();

// Writes a file, making its folder.
bool WriteFile(const QString& path, const QByteArray& bytes);
// A file of that many random bytes; its SHA-256.
QByteArray WriteRandomFile(const QString& path, int bytes, unsigned seed);
QByteArray Sha256Of(const QString& path);
// The names of the files in a folder, hidden ones included.
QStringList FolderNames(const QString& folder);

// A loopback address of this test process's own for end n (2 to 254): every client listens for
// the private chat's direct link on the same port, so clients of tests running at once must
// not share an address, nor listen on all of them.
QString LinkAddress(int n);
// Gives a client program started by a test the next address of this process for its direct link.
void GiveLinkAddress(QProcessEnvironment& env);

// A private configuration folder for the life of a test.
class CTempConfig {
public:
    CTempConfig();
    ~CTempConfig();
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// An environment variable set for a scope; what it was before comes back at the end.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const QByteArray& value);
    ~CScopedEnv();
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// Scripted prompt and dialog host installed for a scope.
struct CScriptedUi {
    CScriptedPrompt prompt;
    CScriptedDialogHost dialogs;
    CScopedPrompt promptScope{prompt};
    CScopedDialogHost dialogScope{dialogs};
};

}  // namespace tavotest

// Ends the test when what it needs is not there: skipped on a developer's machine, failed
// where every tool is required.
#define TAVO_NEED(available, what)                       \
    do {                                                 \
        if (!(available)) {                              \
            if (tavotest::ToolsRequired()) {             \
                GTEST_FAIL() << (what) << " is missing"; \
            } else {                                     \
                GTEST_SKIP() << (what) << " is missing"; \
            }                                            \
        }                                                \
    } while (false)
