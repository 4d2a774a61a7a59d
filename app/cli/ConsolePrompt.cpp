#include "app/cli/ConsolePrompt.h"

#include <QTextStream>

#include <unistd.h>

int CConsolePrompt::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    m_out.Line(caption, text);
    const unsigned buttons = flags & 0xF;
    const bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
    if (!m_answers.empty()) {
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    if (buttons != MB_OK && m_interactive && m_ask) {
        const QString a = m_ask(yesNo ? QStringLiteral("(y/n) ") : QStringLiteral("(ok/cancel) "));
        const QChar c = a.isEmpty() ? QChar() : a.front().toLower();
        if (yesNo) {
            return c == QLatin1Char('n') ? IDNO : IDYES;
        }
        return c == QLatin1Char('c') ? IDCANCEL : IDOK;
    }
    if (buttons != MB_OK && m_interactive && isatty(STDIN_FILENO)) {
        QTextStream out(stdout);
        out << (yesNo ? "(y/n) " : "(ok/cancel) ") << Qt::flush;
        // Byte by byte, so nothing meant for the command reader is buffered away here.
        char c = 0;
        char next = 0;
        if (::read(STDIN_FILENO, &c, 1) == 1) {
            while (c != '\n' && next != '\n' && ::read(STDIN_FILENO, &next, 1) == 1) {
            }
            if (yesNo) {
                return c == 'n' || c == 'N' ? IDNO : IDYES;
            }
            return c == 'c' || c == 'C' ? IDCANCEL : IDOK;
        }
    }
    return yesNo ? IDYES : IDOK;
}
