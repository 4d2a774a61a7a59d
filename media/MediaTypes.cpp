#include "media/MediaTypes.h"

#include <cstdio>

tagGuid tagGuid::FromString(const char* text) {
    tagGuid g;
    unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    if (std::sscanf(text, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11) {
        return tagGuid{};
    }
    g.data1 = d1;
    g.data2 = static_cast<uint16_t>(d2);
    g.data3 = static_cast<uint16_t>(d3);
    for (int i = 0; i < 8; ++i) {
        g.data4[i] = static_cast<uint8_t>(b[i]);
    }
    return g;
}

QString tagGuid::ToString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                  data4[6], data4[7]);
    return QString::fromLatin1(text);
}
