#include "app/cli/ConsoleTerminal.h"

#include "platform/System.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
// Readline's header needs stdio first.
#include <readline/history.h>
#include <readline/readline.h>

namespace {

// Readline calls plain functions; they reach the one terminal of the process through here.
CConsoleTerminal* g_terminal = nullptr;
const char* const kPrompt = "tavo> ";
constexpr int kHistoryLines = 1000;

}  // namespace

CConsoleTerminal::CConsoleTerminal(tagHooks hooks, QString historyFile)
    : m_hooks(std::move(hooks)), m_historyFile(std::move(historyFile)) {
    g_terminal = this;
    rl_readline_name = "tavo-cli";
    rl_attempted_completion_function = &CConsoleTerminal::Complete;
    // Nicknames hold no quotes, but may hold most other characters: only a blank ends a word.
    rl_basic_word_break_characters = const_cast<char*>(" \t");
    using_history();
    if (!m_historyFile.isEmpty()) {
        QDir().mkpath(QFileInfo(m_historyFile).absolutePath());
        const QByteArray file = QFile::encodeName(m_historyFile);
        // Lines are appended as they are typed, and appending needs the file to be there.
        if (read_history(file.constData()) != 0) {
            write_history(file.constData());
        }
    }
    Install();
    m_notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                     [] { rl_callback_read_char(); });
}

CConsoleTerminal::~CConsoleTerminal() {
    m_notifier.reset();
    rl_callback_handler_remove();
    if (!m_historyFile.isEmpty()) {
        history_truncate_file(QFile::encodeName(m_historyFile).constData(), kHistoryLines);
    }
    g_terminal = nullptr;
}

bool CConsoleTerminal::AtTerminal() {
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

QString CConsoleTerminal::DefaultHistoryFile() {
    return StateFolder() + QStringLiteral("/cli_history");
}

void CConsoleTerminal::Install() {
    rl_callback_handler_install(kPrompt, &CConsoleTerminal::OnLine);
}

void CConsoleTerminal::OnLine(char* raw) {
    CConsoleTerminal* self = g_terminal;
    if (!raw) {
        // End of input (Ctrl-D on an empty line): the person is done.
        rl_callback_handler_remove();
        self->m_notifier->setEnabled(false);
        std::fputs("\n", stdout);
        self->m_hooks.line(QStringLiteral("quit"));
        return;
    }
    const QString line = QString::fromLocal8Bit(raw).trimmed();
    if (!line.isEmpty()) {
        add_history(raw);
        if (!self->m_historyFile.isEmpty()) {
            append_history(1, QFile::encodeName(self->m_historyFile).constData());
        }
    }
    std::free(raw);
    if (!line.isEmpty()) {
        self->m_hooks.line(line);
    }
}

char** CConsoleTerminal::Complete(const char* text, int start, int /*end*/) {
    // Only our words: never file names.
    rl_attempted_completion_over = 1;
    CConsoleTerminal* self = g_terminal;
    self->m_matches = start == 0 ? self->m_hooks.commands() : self->m_hooks.arguments();
    return rl_completion_matches(text, &CConsoleTerminal::NextMatch);
}

char* CConsoleTerminal::NextMatch(const char* text, int state) {
    static int next = 0;
    if (state == 0) {
        next = 0;
    }
    const QString prefix = QString::fromLocal8Bit(text);
    const QStringList& words = g_terminal->m_matches;
    while (next < words.size()) {
        const QString& word = words[next++];
        if (word.startsWith(prefix, Qt::CaseInsensitive)) {
            // Readline frees what it is given.
            return strdup(word.toLocal8Bit().constData());
        }
    }
    return nullptr;
}

void CConsoleTerminal::HideInput() {
    if (!m_hidden && m_notifier && m_notifier->isEnabled()) {
        m_hidden = true;
        rl_clear_visible_line();
    }
}

void CConsoleTerminal::ShowInput() {
    if (m_hidden) {
        m_hidden = false;
        rl_forced_update_display();
    }
}

QString CConsoleTerminal::Ask(const QString& question) {
    // The typed line is set aside while the question has the terminal to itself.
    m_notifier->setEnabled(false);
    rl_callback_handler_remove();
    char* raw = readline(question.toLocal8Bit().constData());
    QString answer = raw ? QString::fromLocal8Bit(raw).trimmed() : QString();
    std::free(raw);
    Install();
    m_notifier->setEnabled(true);
    return answer;
}
