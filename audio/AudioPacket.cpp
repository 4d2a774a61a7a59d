#include "audio/AudioPacket.h"

#include "protocol/Commands.h"
#include "protocol/KParam.h"

int BuildAudioPacket(const tagAudioPacket& audio, CKParam& packet) {
    if (audio.payload.size() > 0xFFFF)
        return -1;
    packet.Release();
    if (packet.SetShortInt(KEY_COMMAND, CMD_AUDIO) != 0 ||
        packet.SetInt(AudioKey::MIC, audio.micIndex) != 0 ||
        packet.SetInt(AudioKey::METER, audio.meter) != 0 ||
        packet.SetInt(AudioKey::QUALITY, audio.quality) != 0 ||
        packet.SetChar(AudioKey::PAYLOAD, audio.payload.constData(),
                       static_cast<unsigned short>(audio.payload.size())) != 0 ||
        packet.SetCString(AudioKey::SENDER, audio.senderId) != 0)
        return -1;
    return 0;
}

int ParseAudioPacket(const CKParam& packet, tagAudioPacket& audio) {
    if (packet.Command() != CMD_AUDIO)
        return -1;
    audio = tagAudioPacket();
    audio.micIndex = packet.IntOr(AudioKey::MIC, 1);
    audio.quality = packet.IntOr(AudioKey::QUALITY, 0);
    audio.meter = packet.IntOr(AudioKey::METER, 0);
    audio.senderId = packet.TextOr(AudioKey::SENDER);
    char* data = nullptr;
    unsigned short n = 0;
    if (packet.GetCharNC(AudioKey::PAYLOAD, &data, n) == 0 && data != nullptr)
        audio.payload = QByteArray(data, n);
    int room = 0;
    if (packet.GetInt(AudioKey::ROOM, room) == 0) {
        audio.hasRoom = true;
        audio.roomNumber = room;
    }
    return 0;
}
