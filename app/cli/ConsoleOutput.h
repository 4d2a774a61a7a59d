#pragma once
// Everything the console client shows goes through one output: printed as a line and kept, so
// a script can wait for a line that contains a text.

#include <QString>
#include <QStringList>

class CConsoleOutput {
public:
    // Prints "[tag] text" (or the text alone without a tag) and keeps the line.
    void Line(const QString& tag, const QString& text);
    // The first kept line at or after `from` that contains the text, or -1. Lines the script
    // runner printed itself are not looked at.
    int Find(const QString& part, int from) const;
    int Count() const { return static_cast<int>(m_lines.size()); }
    const QStringList& Lines() const { return m_lines; }

private:
    QStringList m_lines;
};

// A chat fragment as plain text: markup removed, faces and stamps as their tokens ("|#01",
// "|@3"), entities decoded, white space folded.
QString PlainChatText(const QString& fragment);
