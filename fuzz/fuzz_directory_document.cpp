// Directory documents come from the web: any bytes are read as area and room lists, and every
// room name found is cut to a column, without harm.
#include "core/AppState.h"
#include "hall/Directory.h"
#include "platform/WebDocument.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = DecodeWebText(bytes);
    std::vector<tagAreaItem> areas;
    ParseAreaDocument(text, AreaElementName(1, EDITION_10), areas);
    ParseAreaDocument(text, AreaElementName(3, EDITION_20), areas);
    std::vector<tagRoomItem> rooms;
    ParseRoomDocument(text, rooms);
    const TextWidthFn width = [](const QString& t) { return static_cast<int>(t.size()) * 7; };
    for (const auto& room : rooms) {
        (void)CutToWidth(room.name, room.state, 140, width);
        (void)CutToLength(room.name, room.state, 20);
    }
    return 0;
}
