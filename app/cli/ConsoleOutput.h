#pragma once
// Everything the console client shows goes through one output: printed as a line and kept, so
// a script can wait for a line that contains a text.

#include <QString>
#include <QStringList>

// The line a person is typing at a terminal, set aside while the client prints above it.
class IConsoleLineEditor {
public:
    virtual ~IConsoleLineEditor() = default;
    virtual void HideInput() = 0;
    virtual void ShowInput() = 0;
};

class CConsoleOutput {
public:
    // Prints "[tag] text" (or the text alone without a tag) and keeps the line.
    void Line(const QString& tag, const QString& text);
    // The first kept line at or after `from` that contains the text, or -1. Lines the script
    // runner printed itself are not looked at.
    int Find(const QString& part, int from) const;
    int Count() const { return static_cast<int>(m_lines.size()); }
    const QStringList& Lines() const { return m_lines; }
    void SetLineEditor(IConsoleLineEditor* editor) { m_editor = editor; }

private:
    QStringList m_lines;
    IConsoleLineEditor* m_editor = nullptr;
};
