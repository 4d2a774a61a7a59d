#include "room/PrivateLink.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/PrivateRoomDlg.h"

#include <QHostAddress>
#include <QNetworkInterface>

CPrivateLink::CPrivateLink(CPrivateRoomDlg& room) : m_room(room) {
    m_room.SetLink(this);
}

CPrivateLink::~CPrivateLink() {
    m_pathListener = nullptr;
    m_outgoing.SetOwner(nullptr);
    m_accepted.SetOwner(nullptr);
    m_listener.Close();
    m_room.SetLink(nullptr);
}

bool CPrivateLink::Listen(CPrivateRoomDlg&) {
    m_open = true;
    if (m_listener.Open(m_address)) {
        return true;
    }
    m_room.AddSystemLine(LoadString(IDS_P2P_PORT_FAILED));
    return false;
}

void CPrivateLink::Connect(const QString& ownReported, const QString& peerReported,
                           const QString& peerLocal) {
    if (!m_open) {
        return;
    }
    const QString target = P2PTarget(ownReported, peerReported, peerLocal);
    // A link already up stays: the peer reached us first.
    if (target.isEmpty() || Confirmed() || ReachesOurselves(target)) {
        return;
    }
    m_outgoing.ConnectTo(target, m_address);
}

bool CPrivateLink::ReachesOurselves(const QString& target) const {
    // Listening on every address of this machine, any of them leads back to our own port: the
    // peer on the same machine lost the port to us and can only reach us.
    if (!m_listener.IsOpen()) {
        return false;
    }
    if (!m_address.isEmpty()) {
        return target == m_address;
    }
    return QNetworkInterface::allAddresses().contains(QHostAddress(target));
}

CP2PSocket* CPrivateLink::Confirmed() {
    for (CP2PSocket* link : {&m_outgoing, &m_accepted}) {
        if (link->IsEstablished() && link->IsConnect()) {
            return link;
        }
    }
    return nullptr;
}

bool CPrivateLink::SendVideo(CKParam& packet) {
    CP2PSocket* link = Confirmed();
    if (!link) {
        return false;
    }
    // A frame the link cannot take now is dropped, as the room connection would drop it.
    link->SendPacket(packet);
    return true;
}

void CPrivateLink::Close() {
    m_open = false;
    m_outgoing.Shutdown();
    m_accepted.Shutdown();
    m_listener.Close();
}

void CPrivateLink::OnP2PPacket(CP2PSocket&, CKParam& packet) {
    if (m_open) {
        m_room.DispatchPacket(packet);
    }
}

void CPrivateLink::OnP2PNotice(const QString& text) {
    if (m_open) {
        m_room.AddSystemLine(text);
    }
}

void CPrivateLink::OnP2PStateChanged(CP2PSocket&) {
    if (m_pathListener) {
        m_pathListener(false);
    }
}

void CPrivateLink::OnP2PWritable(CP2PSocket&) {
    if (m_pathListener) {
        m_pathListener(true);
    }
}
