#pragma once
// The message of a trace line, formatted once for the trace log and the remote log channel.

#include <QString>

#include <cstdarg>

// The formatted message of a line is built in a buffer of this many characters, terminating
// zero included.
constexpr int kTraceMessageChars = 1024;

// Formats a printf-style message (UTF-8 format and text arguments) and cuts it to
// kTraceMessageChars - 1 UTF-16 characters.
QString FormatTraceMessage(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
