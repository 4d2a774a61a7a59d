#pragma once
// Building blocks of hall requests: every request to the hall server names the client with
// three identity fields (keys 104, 105 and 106).

#include "protocol/KParam.h"

class CAppState;

enum : short {
    KEY_IDENTITY_TEXT = 104,    // text the server-information reply gave (its key 12)
    KEY_IDENTITY_NUMBER = 105,  // number the server-information reply gave (its key 13)
    KEY_ADAPTER = 106,          // the machine's adapter address
};

// Appends keys 104, 105 and 106.
void AppendIdentity(CKParam& packet, const CAppState& state);
// Copies a packet (packets are not copyable; the bytes are).
void CopyPacket(CKParam& to, const CKParam& from);
