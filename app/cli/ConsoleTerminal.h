#pragma once
// The console client at a terminal: GNU Readline reads the commands, with a prompt, line
// editing, a history kept in the user's state folder, and completion of command names and of
// the current room's member identifiers and nicknames. Lines the client prints meanwhile go
// above the line being typed, which is drawn again under them.
//
// Readline runs in its callback mode, fed from the event loop, so the client keeps running
// while a person types.

#include "app/cli/ConsoleOutput.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSocketNotifier;

class CConsoleTerminal : public IConsoleLineEditor {
public:
    struct tagHooks {
        // A whole line was typed (not empty); end of input is the line "quit".
        std::function<void(const QString&)> line;
        // The words that may complete the first word of a line, and those after it.
        std::function<QStringList()> commands;
        std::function<QStringList()> arguments;
    };

    // historyFile: where typed lines are kept between runs; empty for none.
    CConsoleTerminal(tagHooks hooks, QString historyFile);
    ~CConsoleTerminal() override;
    CConsoleTerminal(const CConsoleTerminal&) = delete;
    CConsoleTerminal& operator=(const CConsoleTerminal&) = delete;

    // Whether the client runs at a terminal, where this is the way to read commands.
    static bool AtTerminal();
    // The history file in the state folder.
    static QString DefaultHistoryFile();

    // Asks a question on a line of its own and waits for the answer (a message box's buttons).
    QString Ask(const QString& question);

    void HideInput() override;
    void ShowInput() override;

private:
    static void OnLine(char* line);
    static char** Complete(const char* text, int start, int end);
    static char* NextMatch(const char* text, int state);
    void Install();

    tagHooks m_hooks;
    QString m_historyFile;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QStringList m_matches;
    bool m_hidden = false;
};
