#include "app/cli/ConsoleOutput.h"

#include <QTextStream>

void CConsoleOutput::Line(const QString& tag, const QString& text) {
    const QString line = tag.isEmpty() ? text : QStringLiteral("[%1] %2").arg(tag, text);
    m_lines << line;
    if (m_editor) {
        m_editor->HideInput();
    }
    QTextStream out(stdout);
    out << line << Qt::endl;
    if (m_editor) {
        m_editor->ShowInput();
    }
}

int CConsoleOutput::Find(const QString& part, int from) const {
    // The script's own echo of its commands never satisfies a wait.
    static const QString echo = QStringLiteral("[脚本] ");
    for (int i = std::max(0, from); i < m_lines.size(); ++i) {
        if (!m_lines[i].startsWith(echo) && m_lines[i].contains(part)) {
            return i;
        }
    }
    return -1;
}
