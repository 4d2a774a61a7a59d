#include "platform/TraceMessage.h"

#include <algorithm>
#include <cstdio>

QString FormatTraceMessage(const char* format, va_list args) {
    if (!format) {
        return QString();
    }
    // The message is cut, not refused, when it is longer than the buffer: its head names the
    // step that failed, which is what a reader of the log needs, and dropping the whole line
    // would hide the failure. Callers pass texts from outside (paths, received words), so no
    // length can be trusted; the cut keeps every line within the buffer. The bytes are UTF-8,
    // at most three of them to a UTF-16 character, so this buffer always holds more than the
    // characters kept.
    char bytes[kTraceMessageChars * 4];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(bytes, sizeof bytes, format, copy);
    va_end(copy);
    if (n < 0) {
        return QString();
    }
    QString text = QString::fromUtf8(bytes, std::min<qsizetype>(n, sizeof bytes - 1));
    if (text.size() > kTraceMessageChars - 1) {
        qsizetype keep = kTraceMessageChars - 1;
        if (text.at(keep - 1).isHighSurrogate()) {
            --keep;
        }
        text.truncate(keep);
    }
    return text;
}
