#include "hall/HallPacket.h"

#include "hall/AppState.h"

void AppendIdentity(CKParam& packet, const CAppState& state) {
    packet.SetCString(KEY_IDENTITY_TEXT, state.account.identityText);
    packet.SetInt(KEY_IDENTITY_NUMBER, state.account.identityNumber);
    packet.SetCString(KEY_ADAPTER, state.account.adapterAddress);
}

void CopyPacket(CKParam& to, const CKParam& from) {
    if (from.GetLength() > 0) {
        to.SetBufferPtr(from.GetBufferPtr(), from.GetLength());
    } else {
        to.Release();
    }
}
