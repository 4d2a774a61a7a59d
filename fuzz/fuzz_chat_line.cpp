// Received chat lines are written by other members' clients: whatever comes in, the rebuilt
// line holds nothing that runs, fetches or stalls the view (see tests/room/ChatMarkupCheck.h).

#include "core/AppState.h"
#include "room/ChatFormat.h"
#include "room/ChatSanitizer.h"
#include "tests/room/ChatMarkupCheck.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(const QString& clean, const QString& folder) {
    const QStringList problems = ChatMarkupProblems(clean, folder);
    if (!problems.isEmpty()) {
        std::fprintf(stderr, "%s\n%s\n", clean.toUtf8().constData(),
                     problems.join('\n').toUtf8().constData());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Faces of the sets from 5 up are found through the configuration's links.
    static CAppState state;
    CAppState::Slot().Install(&state);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString folder = QStringLiteral("/opt/tavo");
    const QString line =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString clean = SanitizeChatFragment(line, folder);
    Check(clean, folder);
    const tagCleanLine spoken = SanitizeChatLine(
        line, folder,
        MemberLink(QStringLiteral("amy"), QStringLiteral("艾米"), QStringLiteral("艾米")));
    Check(spoken.html, folder);
    for (int edition : {EDITION_20, EDITION_70}) {
        ConvertFaces(LimitTokens(clean, edition), tagFaceRules{true, 40, folder, edition});
    }
    return 0;
}
