#pragma once
// The audio packet, command 460: one encoded block with its quality, the sender's mic index,
// its meter value and the sender's ID. The relaying server adds the room number (key 70).

#include "protocol/keys/AudioKeys.h"

#include <QByteArray>
#include <QString>

class CKParam;

struct tagAudioPacket {
    int micIndex = 1;
    int meter = 0;
    int quality = 0;
    QByteArray payload;
    QString senderId;
    // Key 70, present only on packets a server relayed.
    bool hasRoom = false;
    int roomNumber = 0;
};

// Builds the packet a client sends, fields in the order receivers of every version expect.
// 0 on success, -1 when the payload does not fit a field.
int BuildAudioPacket(const tagAudioPacket& audio, CKParam& packet);
// Reads an audio packet with the receivers' defaults (mic index 1, meter 0, quality 0, empty
// payload). 0 on success, -1 when the packet is not command 460.
int ParseAudioPacket(const CKParam& packet, tagAudioPacket& audio);
