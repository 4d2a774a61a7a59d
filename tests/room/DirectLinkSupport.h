#pragma once
// One member's end of a private pair for the direct-link tests: its own loopback address, the
// listening socket on 26487 there, the outgoing and the accepted link, and what the links
// handed over. With a file transfer attached, the links' file packets go to it.

#include "room/FileTransfer.h"
#include "room/P2PListenSocket.h"
#include "room/P2PSocket.h"
#include "tests/support/Loopback.h"

#include <QString>

#include <memory>
#include <vector>

namespace tavotest {

struct tagLinkEnd : IP2POwner, IFileTransferView {
    explicit tagLinkEnd(const QString& own) : address(own) {}

    bool Listen() { return listener.Open(address); }
    // Connects out to the other end's address and waits until both sides hold a confirmed link.
    bool ConnectTo(tagLinkEnd& other);
    // The transfer over the links, and through a room connection when the links are down; the
    // file packets that connection receives go to the transfer (and are not kept).
    void AttachFiles(CTestConnection& service);

    void OnP2PPacket(CP2PSocket& link, CKParam& packet) override;
    void OnP2PNotice(const QString& text) override { notices.push_back(text); }
    void OnP2PStateChanged(CP2PSocket& link) override;
    void OnP2PWritable(CP2PSocket& link) override;

    void OnFileProgress(const tagFileProgress& progress) override { last = progress; }
    void OnFileFinished(const tagFileProgress& progress, EFileOutcome outcome,
                        const QString& path) override;

    QString address;
    CP2PSocket outgoing{this};
    CP2PSocket accepted{this};
    CP2PListenSocket listener{accepted};
    std::vector<QString> notices;
    std::vector<short> handed;  // commands the links handed over, file packets excepted
    std::unique_ptr<CFileRoute> route;
    std::unique_ptr<CFileTransfer> files;
    tagFileProgress last;
    struct tagEnding {
        tagFileProgress progress;
        EFileOutcome outcome;
        QString path;
    };
    std::vector<tagEnding> endings;
};

}  // namespace tavotest
