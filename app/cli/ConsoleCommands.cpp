#include "app/cli/ConsoleCommands.h"

#include <algorithm>

void CConsoleCommands::Add(tagConsoleCommand command) {
    m_commands.push_back(std::move(command));
}

void CConsoleCommands::Intercept(const QString& name,
                                 std::function<bool(const tagCommandCall&)> handler,
                                 const QString& moreArguments, const QString& moreHelp,
                                 int maxArgs) {
    for (tagConsoleCommand& c : m_commands) {
        if (c.name != name) {
            continue;
        }
        c.run = [first = std::move(handler), own = std::move(c.run)](const tagCommandCall& call) {
            if (!first(call)) {
                own(call);
            }
        };
        c.arguments += moreArguments;
        c.help += moreHelp;
        if (maxArgs != -2) {
            c.maxArgs = maxArgs;
        }
        return;
    }
}

const tagConsoleCommand* CConsoleCommands::Find(const QString& name) const {
    const QString lower = name.toLower();
    for (const tagConsoleCommand& c : m_commands) {
        if (c.name == lower) {
            return &c;
        }
    }
    return nullptr;
}

bool CConsoleCommands::Fits(const tagConsoleCommand& command, const tagCommandCall& call) {
    const int n = static_cast<int>(call.args.size());
    return n >= command.minArgs && (command.maxArgs < 0 || n <= command.maxArgs);
}

QString CConsoleCommands::Usage(const tagConsoleCommand& command) {
    return command.arguments.isEmpty() ? command.name
                                       : command.name + QLatin1Char(' ') + command.arguments;
}

QStringList CConsoleCommands::HelpLines() const {
    qsizetype width = 0;
    for (const tagConsoleCommand& c : m_commands) {
        width = std::max(width, Usage(c).size());
    }
    QStringList lines;
    for (const tagConsoleCommand& c : m_commands) {
        lines << Usage(c).leftJustified(width + 2) + c.help;
    }
    return lines;
}

QStringList CConsoleCommands::Names(const QString& prefix) const {
    QStringList names;
    for (const tagConsoleCommand& c : m_commands) {
        if (c.name.startsWith(prefix)) {
            names << c.name;
        }
    }
    return names;
}

tagCommandCall ParseCommandLine(const QString& line) {
    tagCommandCall call;
    call.name = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toLower();
    call.rest = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    call.args = call.rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return call;
}
