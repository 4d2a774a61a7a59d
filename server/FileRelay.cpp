#include "server/FileRelay.h"

#include "protocol/Commands.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "server/Packets.h"

namespace {

// The fields a file packet may carry, with their types; nothing else goes along.
struct tagFileField {
    short key;
    short type;
};
constexpr tagFileField kFileFields[] = {
    {FileKey::ID, KTYPE_INT},         {FileKey::NAME, KTYPE_BYTES},
    {FileKey::SIZE_LOW, KTYPE_INT},   {FileKey::SIZE_HIGH, KTYPE_INT},
    {FileKey::OFFSET_LOW, KTYPE_INT}, {FileKey::OFFSET_HIGH, KTYPE_INT},
    {FileKey::BYTES, KTYPE_BYTES},    {FileKey::RESEND, KTYPE_BOOL},
    {FileKey::SHA256, KTYPE_BYTES},   {FileKey::RESULT, KTYPE_INT},
    {FileKey::BY_SENDER, KTYPE_BOOL},
};

void CopyField(const CKParam& from, const tagFileField& field, CKParam& to) {
    switch (field.type) {
        case KTYPE_INT: {
            int value = 0;
            if (from.GetInt(field.key, value) == 0) {
                to.SetInt(field.key, value);
            }
            break;
        }
        case KTYPE_BOOL: {
            bool value = false;
            if (from.GetBoolean(field.key, value) == 0) {
                to.SetBoolean(field.key, value);
            }
            break;
        }
        case KTYPE_BYTES: {
            char* data = nullptr;
            unsigned short n = 0;
            if (from.GetCharNC(field.key, &data, n) == 0) {
                to.SetChar(field.key, data, n);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

CFileRelay::CFileRelay(CRoomServer& server) : CRoomFeature(server) {
    for (CRoomRegistry* port : {&server.MainRequests(), &server.SecondRequests()}) {
        for (short code : kFileCommands) {
            port->On(code, EStage::Entered, this, &CFileRelay::OnFilePacket);
        }
    }
    m_lookup = [&server](const QString& id, bool second) -> IServerPeer* {
        for (CRoom* room : server.ActiveRooms()) {
            if (CRoomMember* member = room->Find(id)) {
                IServerPeer* preferred = second ? member->second : member->main;
                return preferred ? preferred : (second ? member->main : member->second);
            }
        }
        return nullptr;
    };
}

void CFileRelay::Pair(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty() || Key(a) == Key(b)) {
        return;
    }
    Unpair(a);
    Unpair(b);
    m_partners[Key(a)] = b;
    m_partners[Key(b)] = a;
}

void CFileRelay::Unpair(const QString& member) {
    auto it = m_partners.find(Key(member));
    if (it == m_partners.end()) {
        return;
    }
    const QString partner = Key(it->second);
    m_partners.erase(it);
    auto back = m_partners.find(partner);
    if (back != m_partners.end() && Key(back->second) == Key(member)) {
        m_partners.erase(back);
    }
}

QString CFileRelay::PartnerOf(const QString& member) const {
    auto it = m_partners.find(Key(member));
    return it == m_partners.end() ? QString() : it->second;
}

int CFileRelay::Relay(const QString& from, const CKParam& packet, bool second) {
    const short code = packet.Command();
    const QString partner = PartnerOf(from);
    if (!IsFileCommand(code) || partner.isEmpty()) {
        return -1;
    }
    IServerPeer* to = m_lookup ? m_lookup(partner, second) : nullptr;
    if (!to || !to->IsOpen()) {
        return -1;
    }
    CKParam relay = MakePacket(code);
    for (const tagFileField& field : kFileFields) {
        CopyField(packet, field, relay);
    }
    relay.SetCString(FileKey::SENDER, from);
    // Chunks may be dropped for a receiver far behind: the clients ask for them again. The
    // rest is small and says where a transfer stands.
    const int result = to->Send(relay, code == CMD_FILE_DATA);
    if (result == 0) {
        ++m_relayed;
    }
    return result;
}

void CFileRelay::OnFilePacket(tagRoomRequest& r) {
    if (!r.member) {
        return;
    }
    const bool second = r.session == nullptr;
    Relay(r.member->id, r.packet, second);
}
