#pragma once
// Video in the private room: the user's camera sends to the peer alone, over the direct link
// when it is up and otherwise through the second room connection, and the peer's pictures are
// decoded onto the peer's area. The codec library reports encoded frames to the private
// room's window, which hands them here.

#include "room/FrameTaps.h"
#include "room/PrivateRoomDlg.h"
#include "room/VideoLoss.h"
#include "video/VideoClientH264.h"
#include "video/VideoServerH264.h"

class CPrivateVideo : public IPrivateVideo {
public:
    explicit CPrivateVideo(CPrivateRoomDlg& room);
    ~CPrivateVideo() override;
    CPrivateVideo(const CPrivateVideo&) = delete;
    CPrivateVideo& operator=(const CPrivateVideo&) = delete;

    // IPrivateVideo
    void OnPeerPresent(bool present) override;
    void OnVideo(CKParam& packet) override;
    bool OnCopyData(unsigned tag, const QByteArray& data) override;
    void Close() override;
    int OpenOwn() override;
    void CloseOwn() override;
    bool OwnOpen() const { return m_sender.IsCreated(); }
    // The recorder: the own frames go to own, the peer's (area PRIVATE_VIDEO_PEER) to peer.
    void SetFrameTaps(IOwnFrameTap* own, IReceivedFrameTap* peer);
    // A whole frame packet to the peer, the camera's or a played one.
    void SendFrame(const QByteArray& framePacket);

    struct tagCounters {
        int sent = 0;
        int received = 0;
        int decoded = 0;
        int dropped = 0;
    };
    tagCounters Counters() const { return m_counters; }

private:
    void OnFrame(const QByteArray& bytes);

    CPrivateRoomDlg& m_room;
    CVideoServerH264 m_sender;
    CVideoClientH264 m_receiver;
    tagVideoLoss m_loss;
    IOwnFrameTap* m_ownTap = nullptr;
    IReceivedFrameTap* m_peerTap = nullptr;
    bool m_receiving = false;
    tagCounters m_counters;
};
