#pragma once
// Building blocks of hall requests: every request to the hall server names the client with
// three identity fields (IdentityKey).

#include "protocol/KParam.h"
#include "protocol/keys/CenterKeys.h"

class CAppState;

// Appends the identity fields.
void AppendIdentity(CKParam& packet, const CAppState& state);
// Copies a packet (packets are not copyable; the bytes are).
void CopyPacket(CKParam& to, const CKParam& from);
