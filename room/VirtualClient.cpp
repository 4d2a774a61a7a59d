#include "room/VirtualClient.h"

#include "protocol/Commands.h"
#include "protocol/keys/MicGuardKeys.h"

CVirtualClient::~CVirtualClient() {
    KClose();
}

int CVirtualClient::OnKConnect(int error) {
    if (error != 0) {
        return 0;
    }
    CKParam enter;
    enter.SetShortInt(KEY_COMMAND, CMD_GUARD_ENTER);
    enter.SetCString(GuardEnterKey::NICKNAME, m_nickname);
    enter.SetInt(GuardEnterKey::ROOM, m_room);
    enter.SetBoolean(GuardEnterKey::FLAG_50, false);
    enter.SetBoolean(GuardEnterKey::FLAG_60, false);
    enter.SetCString(GuardEnterKey::ADDRESS, QStringLiteral("0.0.0.0"));
    return SendPacket(enter);
}
