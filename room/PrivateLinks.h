#pragma once
// Where the private room meets the direct link between the two members and the file
// transfer, both of which live beside it. Without them the private room still works: video
// goes through the second room connection, an offered file is refused.

class CKParam;
class CPrivateRoomDlg;
class QString;

class IPrivateLink {
public:
    virtual ~IPrivateLink() = default;
    // The private room opened: start listening for the peer. False when the listening socket
    // could not be opened.
    virtual bool Listen(CPrivateRoomDlg& room) = 0;
    // The peer's addresses are known: connect to the peer where it can be reached.
    virtual void Connect(const QString& ownReported, const QString& peerReported,
                         const QString& peerLocal) = 0;
    // A video packet: true when it left over the link; false sends it through the room.
    virtual bool SendVideo(CKParam& packet) = 0;
    // The private room closes: both connections and the listening socket go.
    virtual void Close() = 0;
};

class IPrivateFiles {
public:
    virtual ~IPrivateFiles() = default;
    // The file-offer button.
    virtual void Offer(CPrivateRoomDlg& room) = 0;
    // 634, the outcome of the user's offer; 635, the peer offers a file (answered with 636).
    virtual void OnOfferReply(CPrivateRoomDlg& room, CKParam& packet) = 0;
    virtual void OnOffered(CPrivateRoomDlg& room, CKParam& packet) = 0;
    // A packet of a transfer under way, from the room connection or the direct link.
    virtual void OnFilePacket(CKParam& packet) = 0;
    // The private room closes: transfers in progress end.
    virtual void Close() = 0;
};
