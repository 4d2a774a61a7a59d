#pragma once
// File bytes between the two members of a private pair, relayed when the pair has no direct
// link. The service only passes the packets on, each written anew with the fields a file
// packet has and the sender's identity; the clients keep the transfer's state. A member is
// relayed to its partner and to nobody else: the private room pairs the two when it opens and
// parts them when it closes.

#include "server/RoomServer.h"

#include <QString>

#include <functional>
#include <map>

class CFileRelay : public CRoomFeature {
public:
    // The connection of a member, main or second; null when the member is not here.
    using Lookup = std::function<IServerPeer*(const QString& id, bool second)>;

    explicit CFileRelay(CRoomServer& server);

    // Pairs two members; either one's earlier pair ends.
    void Pair(const QString& a, const QString& b);
    void Unpair(const QString& member);
    // The partner of a member, empty when it has none.
    QString PartnerOf(const QString& member) const;
    // Where members are found; by default among the members of this server's rooms.
    void SetLookup(Lookup lookup) { m_lookup = std::move(lookup); }
    const Lookup& CurrentLookup() const { return m_lookup; }

    // Passes a file packet from a member to its partner: 0 passed on, 1 dropped because the
    // partner is far behind, -1 not passed (no partner, partner gone, not a file packet).
    int Relay(const QString& from, const CKParam& packet, bool second);

    int RelayedPackets() const { return m_relayed; }

private:
    void OnFilePacket(tagRoomRequest& r);

    static QString Key(const QString& id) { return id.toLower(); }

    std::map<QString, QString> m_partners;  // both directions, by lower-case id
    Lookup m_lookup;
    int m_relayed = 0;
};
