#include "room/P2PSocket.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/DirectLinkKeys.h"
#include "room/RoomTrace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// What a confirmed link hands to the private room.
bool CarriedOnLink(short code) {
    return code == CMD_AUDIO || code == CMD_VIDEO || IsFileCommand(code);
}

}  // namespace

CP2PSocket::CP2PSocket(IP2POwner* owner) : m_owner(owner) {}

CP2PSocket::~CP2PSocket() {
    // Closing here must not reach the owner: it may be half destroyed.
    m_owner = nullptr;
    KClose();
}

void CP2PSocket::SetState(int state) {
    if (m_state == state) {
        return;
    }
    m_state = state;
    if (m_owner) {
        m_owner->OnP2PStateChanged(*this);
    }
}

void CP2PSocket::Notice(int stringId) {
    if (m_owner) {
        m_owner->OnP2PNotice(LoadString(stringId));
    }
}

int CP2PSocket::ConnectTo(const QString& target, const QString& localAddress, int port) {
    if (m_state != P2P_IDLE || target.isEmpty()) {
        return -1;
    }
    KClose();
    if (KCreate() != 0) {
        Notice(IDS_P2P_PORT_FAILED);
        return -1;
    }
    if (!localAddress.isEmpty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, localAddress.toLatin1().constData(), &local.sin_addr) != 1 ||
            ::bind(Handle(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            KClose();
            Notice(IDS_P2P_PORT_FAILED);
            return -1;
        }
    }
    if (KConnect(target, port) != 0) {
        RoomTrace(
            QStringLiteral("P2P connect to %1 failed at once").arg(target).toUtf8().constData());
        return -1;
    }
    SetState(P2P_CONNECTING);
    return 0;
}

void CP2PSocket::Adopted(const QString& peerAddress) {
    m_peerAddress = peerAddress;
    OnKConnect(0);
    SetAccepted();
}

int CP2PSocket::OnKConnect(int error) {
    if (error != 0) {
        return 0;
    }
    if (m_state == P2P_CONNECTING) {
        CKParam confirm;
        confirm.SetShortInt(KEY_COMMAND, CMD_P2P_CONFIRM);
        SendPacket(confirm);
        SetState(P2P_ESTABLISHED);
        Notice(IDS_P2P_CONNECTED_OUT);
    } else {
        SetState(P2P_UNCONFIRMED);
    }
    return 0;
}

int CP2PSocket::OnKReceive(CKParam& packet) {
    const short code = packet.Command();
    if (code == CMD_P2P_CONFIRM) {
        if (m_state == P2P_UNCONFIRMED) {
            SetState(P2P_ESTABLISHED);
            Notice(IDS_P2P_CONNECTED_IN);
        }
        return 0;
    }
    // Until the peer confirms, the other end of this socket may be anybody.
    if (m_state != P2P_ESTABLISHED) {
        return 0;
    }
    if (code == CMD_P2P_CLOSE) {
        Notice(IDS_P2P_CLOSED);
        return 0;
    }
    if (CarriedOnLink(code) && m_owner) {
        m_owner->OnP2PPacket(*this, packet);
    }
    return 0;
}

int CP2PSocket::OnKSend(int error) {
    if (error == 0 && m_state == P2P_ESTABLISHED && m_owner) {
        m_owner->OnP2PWritable(*this);
    }
    return 0;
}

int CP2PSocket::OnKClose() {
    SetState(P2P_IDLE);
    return 0;
}

void CP2PSocket::Shutdown() {
    if (m_state == P2P_ESTABLISHED && IsConnect()) {
        CKParam bye;
        bye.SetShortInt(KEY_COMMAND, CMD_P2P_CLOSE);
        SendPacket(bye);
    }
    KClose();
    m_peerAddress.clear();
    SetState(P2P_IDLE);
}

QString P2PTarget(const QString& ownReported, const QString& peerReported,
                  const QString& peerLocal) {
    if (!ownReported.isEmpty() && ownReported == peerReported) {
        return peerLocal;
    }
    if (!peerReported.isEmpty() && peerReported == peerLocal) {
        return peerReported;
    }
    return QString();
}

CSocketClient* MediaPath(CP2PSocket& outgoing, CP2PSocket& accepted, CSocketClient& second) {
    for (CP2PSocket* link : {&outgoing, &accepted}) {
        if (link->IsEstablished() && link->IsConnect()) {
            return link;
        }
    }
    return second.IsConnect() ? &second : nullptr;
}
