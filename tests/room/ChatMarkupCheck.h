#pragma once
// An independent look at what the chat sanitizer wrote: every problem a cleaned fragment must
// not have. Markup must be well formed and balanced (tags written whole, attribute values
// quoted, "<" in text escaped); no element that runs, fetches, frames or embeds; no event
// attribute; no reference to a script, a data address or another host, however it is
// spelled; pictures only from the program folder's picture folders; no style that fetches or
// computes; nothing past the fragment budget; no control or direction-override characters.
// Used by the sanitizer's tests, the chat view benchmark and the chat-line fuzz target, with
// the chat lines of tests/room/data/chat-lines.txt.

#include <QString>
#include <QStringList>

#include <vector>

// Empty when the fragment is clean; otherwise one line per problem.
QStringList ChatMarkupProblems(const QString& html, const QString& programFolder);

// One line of chat-lines.txt: a hostile line, or an ordinary one to keep ("keep"), with what
// must come out exactly when the file says.
struct tagChatCase {
    int line = 0;
    bool keep = false;
    QString input;
    bool exact = false;
    QString expected;
};
// The cases of the file; none when it cannot be read.
std::vector<tagChatCase> LoadChatCases(const QString& path);
