#pragma once
// The shapes every reply shares: the command in key 10, the result in key 20 (0 success, -1
// refused) and, on refusal, the code in key 21.

#include "protocol/KParam.h"

#include <QString>

inline CKParam MakePacket(short command) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, command);
    return p;
}

inline CKParam MakeReply(short command) {
    CKParam p = MakePacket(command);
    p.SetInt(KEY_RESULT, 0);
    return p;
}

inline CKParam MakeRefusal(short command, int code) {
    CKParam p = MakePacket(command);
    p.SetInt(KEY_RESULT, -1);
    p.SetInt(KEY_REFUSAL, code);
    return p;
}

// Texts that travel between commas (member texts, room rows) must not hold one.
inline QString CommaFree(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char(','), QChar(0xFF0C));
    return out;
}
