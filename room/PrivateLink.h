#pragma once
// The direct link of the private room: our listening socket, the link we connect out and the
// one we accept. Video leaves over the first confirmed link; what a confirmed link carries
// goes to the private room's dispatcher, as if the room connection had delivered it.

#include "room/P2PListenSocket.h"
#include "room/P2PSocket.h"
#include "room/PrivateLinks.h"

#include <QString>

#include <functional>

class CPrivateLink : public IPrivateLink, public IP2POwner {
public:
    // Installs itself in the private room for its lifetime.
    explicit CPrivateLink(CPrivateRoomDlg& room);
    ~CPrivateLink() override;
    CPrivateLink(const CPrivateLink&) = delete;
    CPrivateLink& operator=(const CPrivateLink&) = delete;

    // The address of this machine both sockets use (empty: any). Lets two clients on one
    // machine each listen on the link's port.
    void SetLocalAddress(const QString& address) { m_address = address; }
    // Told when a link came up or went, or can take bytes again: the file transfer follows.
    void SetPathListener(std::function<void(bool writable)> listener) {
        m_pathListener = std::move(listener);
    }

    CP2PSocket& Outgoing() { return m_outgoing; }
    CP2PSocket& Accepted() { return m_accepted; }
    bool IsListening() const { return m_listener.IsOpen(); }

    // IPrivateLink
    bool Listen(CPrivateRoomDlg& room) override;
    void Connect(const QString& ownReported, const QString& peerReported,
                 const QString& peerLocal) override;
    bool SendVideo(CKParam& packet) override;
    void Close() override;

    // IP2POwner
    void OnP2PPacket(CP2PSocket& link, CKParam& packet) override;
    void OnP2PNotice(const QString& text) override;
    void OnP2PStateChanged(CP2PSocket& link) override;
    void OnP2PWritable(CP2PSocket& link) override;

private:
    CP2PSocket* Confirmed();
    bool ReachesOurselves(const QString& target) const;

    CPrivateRoomDlg& m_room;
    QString m_address;
    bool m_open = false;
    CP2PSocket m_outgoing{this};
    CP2PSocket m_accepted{this};
    CP2PListenSocket m_listener{m_accepted};
    std::function<void(bool)> m_pathListener;
};
