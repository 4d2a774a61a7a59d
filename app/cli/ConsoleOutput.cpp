#include "app/cli/ConsoleOutput.h"

#include <QRegularExpression>
#include <QTextStream>

void CConsoleOutput::Line(const QString& tag, const QString& text) {
    const QString line = tag.isEmpty() ? text : QStringLiteral("[%1] %2").arg(tag, text);
    m_lines << line;
    QTextStream out(stdout);
    out << line << Qt::endl;
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

QString PlainChatText(const QString& fragment) {
    static const QRegularExpression face(
        QStringLiteral(R"(<img[^>]*?[\\/]img[\\/]face[\\/](?:(\d)[\\/])?(\d+)\.gif[^>]*>)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression stamp(QStringLiteral(R"(<img[^>]*?[\\/]img[\\/]stamp[\\/](\d+)\.bmp[^>]*>)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression breaks(QStringLiteral(R"(<br\s*/?>|</div>|</p>)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression space(QStringLiteral(R"(\s+)"));

    QString text = fragment;
    // Faces back to the tokens people typed; a set digit stays in front of the number.
    QString out;
    qsizetype last = 0;
    for (auto it = face.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        out += QStringLiteral("|#") + m.captured(1) + m.captured(2);
        last = m.capturedEnd();
    }
    out += text.mid(last);
    text = out;
    text.replace(stamp, QStringLiteral("|@\\1 "));
    text.replace(breaks, QStringLiteral(" "));
    text.remove(tag);
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.replace(space, QStringLiteral(" ")).trimmed();
}
