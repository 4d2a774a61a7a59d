#pragma once
// The one table of the console client's commands: what each is called, what it takes, what it
// does and the code that runs it. The script runner dispatches from it, `help` prints it and
// the terminal completes from it, so a command cannot be run without being listed, nor listed
// without being run.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// A command as typed: its name, the text after it, and that text split into words.
struct tagCommandCall {
    QString name;
    QString rest;
    QStringList args;
};

struct tagConsoleCommand {
    QString name;
    QString arguments;  // as `help` shows them: "USER PASSWORD", "[SECS]"
    QString help;
    // Words the command takes at least and at most (-1: no limit); a call outside is refused
    // with the command's usage before anything runs.
    int minArgs = 0;
    int maxArgs = 0;
    bool needsRoom = false;
    std::function<void(const tagCommandCall&)> run;
};

class CConsoleCommands {
public:
    void Add(tagConsoleCommand command);
    // Puts a handler in front of a command's own, for a place the command works differently
    // (the private room's say, mic, leave): it runs first and the command's own runs only when
    // it did not take the call. The arguments and the help say more where it takes more.
    void Intercept(const QString& name, std::function<bool(const tagCommandCall&)> handler,
                   const QString& moreArguments = {}, const QString& moreHelp = {},
                   int maxArgs = -2);
    // The command of that name (as typed, any case), or null.
    const tagConsoleCommand* Find(const QString& name) const;
    // Whether the call's words fit what the command takes.
    static bool Fits(const tagConsoleCommand& command, const tagCommandCall& call);
    // "name ARGUMENTS", padded, then the help text: one line per command, in the order added.
    QStringList HelpLines() const;
    static QString Usage(const tagConsoleCommand& command);
    // The names starting with a prefix, for completion.
    QStringList Names(const QString& prefix = {}) const;

private:
    std::vector<tagConsoleCommand> m_commands;
};

// Splits a typed line into its command and the rest.
tagCommandCall ParseCommandLine(const QString& line);
