// Received chat lines are written by other members' clients.

#include "hall/AppState.h"
#include "room/ChatFormat.h"
#include "room/ChatSanitizer.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString clean = SanitizeChatFragment(line, QStringLiteral("/opt/tavo"));
    // Whatever comes in, nothing that runs survives.
    if (clean.contains(QStringLiteral("<script"), Qt::CaseInsensitive)) {
        std::abort();
    }
    for (int edition : {EDITION_20, EDITION_70}) {
        ConvertFaces(LimitTokens(clean, edition),
                     tagFaceRules{true, 40, QStringLiteral("/opt/tavo"), edition});
    }
    return 0;
}
