#pragma once
// Gifts and stamps: giving one to a member (390 through the request discipline), the
// announcement of every gift in the room (392) with its lines, the balance changes, the stamp
// put on the recipient, the giver's and recipient's mark, and the animation to play.

#include "room/GiveGiftDlg.h"
#include "room/RoomFeature.h"

#include <QString>

#include <cstdint>

class CKParam;
class CRoomDlg;

// An animation to play: a picture file under our picture folders or an address of the service
// we are connected to, nothing else.
struct tagGiftAnimation {
    QString source;
    int width = 400;
    int height = 300;
    int seconds = 5;
    int options = 1;
    bool still = false;  // a still picture rather than an animated one
};

// Where animations are played: a window of their own on the desktop, nowhere in the console.
class IGiftView {
public:
    virtual ~IGiftView() = default;
    virtual void ShowGiftAnimation(const tagGiftAnimation& animation) = 0;
};

// The user's money in hundredths: what the hall last said of it, moved by every gift announced
// since, in a room or in the private room, so that entering another room keeps it.
int64_t OwnBalance();
void SetOwnBalance(int64_t hundredths);
// Moves it as a gift announcement (392) says: the giver pays, a registered recipient and the
// parties named in the announcement are credited.
void ApplyGiftBalance(const CKParam& announcement, const QString& ownId, bool registered);

class CGifts : public IRoomFeature {
public:
    // Gifts numbered from here on have pictures of their own in the chat (editions 50 and 70).
    static constexpr int kPictureGifts = 1001;
    // A mark lasts six hours.
    static constexpr int64_t kMarkSeconds = 21600;
    // However many items a gift has, the chat gets at most this many item lines.
    static constexpr int kMaxItemLines = 100;

    explicit CGifts(CRoomDlg& room);

    void Register(CDispatchTable& table) override;
    void OnRoomOpened() override;

    void SetView(IGiftView* view) { m_view = view; }
    // The user's balance in hundredths; the announcements move it.
    int64_t Balance() const { return OwnBalance(); }
    void SetBalance(int64_t hundredths) { SetOwnBalance(hundredths); }
    // The catalogue of the room's skin, read when the room opens.
    const CGiftCatalogue& Catalogue() const { return m_catalogue; }
    CGiftCatalogue& MutableCatalogue() { return m_catalogue; }

    // Asks for the gift with the give dialog, then gives it. Returns 0 when the request went
    // out, -1 when a check refused it or the dialog was cancelled.
    int Give(const QString& recipient);
    int PutStamp(const QString& recipient);
    // Gives without the dialog (the console, a gift link).
    int Send(const QString& recipient, int number, int quantity, short kind);

    // 392.
    void OnGiven(CKParam& packet);
    // Plays an announcement's animation when the user shows them and its source is allowed;
    // the private room's announcements play here too.
    void Animate(const CKParam& announcement);

    // "%0.0f%s" from one unit up, "%0.1f%s" below, with the money unit.
    static QString ValueText(int hundredths, const QString& unit);
    // The animation source as we may show it: a local path under the program's picture
    // folders, or an http(s) address on one of the hosts; empty when it is neither.
    static QString AllowedSource(const QString& source, const QString& programFolder,
                                 const QStringList& hosts);

private:
    int Ask(const QString& recipient, short kind);

    CRoomDlg& m_room;
    IGiftView* m_view = nullptr;
    CGiftCatalogue m_catalogue;
};
