#include "tests/room/DirectLinkSupport.h"

#include "tests/support/TestSupport.h"

namespace tavotest {

bool tagLinkEnd::ConnectTo(tagLinkEnd& other) {
    return outgoing.ConnectTo(other.address, address) == 0 &&
           WaitUntil([&] { return outgoing.IsEstablished() && other.accepted.IsEstablished(); });
}

void tagLinkEnd::AttachFiles(CTestConnection& service) {
    route = std::make_unique<CFileRoute>(outgoing, accepted, service);
    files = std::make_unique<CFileTransfer>(*route, this);
    service.SetScript(
        [this](CTestConnection&, CKParam& packet) {
            if (CFileTransfer::Handles(packet.Command())) {
                files->OnPacket(packet);
            }
        },
        false);
}

void tagLinkEnd::OnP2PPacket(CP2PSocket&, CKParam& packet) {
    if (files && CFileTransfer::Handles(packet.Command())) {
        files->OnPacket(packet);
        return;
    }
    handed.push_back(packet.Command());
}

void tagLinkEnd::OnP2PStateChanged(CP2PSocket&) {
    if (files) {
        files->OnPathChanged();
    }
}

void tagLinkEnd::OnP2PWritable(CP2PSocket&) {
    if (files) {
        files->OnPathWritable();
    }
}

void tagLinkEnd::OnFileFinished(const tagFileProgress& progress, EFileOutcome outcome,
                                const QString& path) {
    endings.push_back({progress, outcome, path});
}

}  // namespace tavotest
