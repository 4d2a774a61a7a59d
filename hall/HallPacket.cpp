#include "hall/HallPacket.h"

#include "core/AppState.h"

void AppendIdentity(CKParam& packet, const CAppState& state) {
    packet.SetCString(IdentityKey::TEXT, state.account.identityText);
    packet.SetInt(IdentityKey::NUMBER, state.account.identityNumber);
    packet.SetCString(IdentityKey::ADAPTER, state.account.adapterAddress);
}

void CopyPacket(CKParam& to, const CKParam& from) {
    if (from.GetLength() > 0) {
        to.SetBufferPtr(from.GetBufferPtr(), from.GetLength());
    } else {
        to.Release();
    }
}
