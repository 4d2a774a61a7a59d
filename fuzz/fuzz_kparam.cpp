// Packets from the network: load any bytes and read every kind of field from them.
#include "protocol/KParam.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the keys to look up; the rest is the packet.
    const short key = static_cast<short>(data[0] | (data[1] << 8));
    CKParam packet;
    if (packet.SetBufferPtr(reinterpret_cast<const char*>(data + 2), static_cast<int>(size - 2)) != 0) {
        return 0;
    }
    short s = 0;
    int i = 0;
    bool b = false;
    QString text;
    char buffer[65536];
    unsigned short n = 0;
    char* view = nullptr;
    for (short k : {key, short(10), short(20), short(9999), short(-31073)}) {
        packet.GetShortInt(k, s);
        packet.GetInt(k, i);
        packet.GetBoolean(k, b);
        packet.GetCString(k, text);
        packet.GetChar(k, buffer, n);
        packet.GetCharNC(k, &view, n);
        packet.UpdateShortInt(k, 7);
    }
    packet.GetPacketCrc();
    packet.SetInt(key, 1);
    return 0;
}
