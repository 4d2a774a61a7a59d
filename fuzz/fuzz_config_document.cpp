// The server configuration document comes from the web: any bytes, decoded by whatever charset
// they declare, are read into the settings without harm.
#include "core/AppState.h"
#include "hall/ConfigDocument.h"
#include "platform/WebDocument.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    tagConfigDocument doc;
    if (!ParseConfigDocument(DecodeWebText(bytes), doc)) {
        return 0;
    }
    tagSettings settings;
    ApplyConfigExtras(doc, EDITION_70, settings);
    (void)doc.LastVersion();
    return 0;
}
