#pragma once
// The room-management menu ("房主设置"): who may open it, what it holds for the user's rank
// with the room's current switches checked, and running an entry. The window only draws the
// entries it is given and hands the chosen one back; entries whose operation this client does
// not have are listed greyed, never answered with something else.

#include <QString>

#include <vector>

class CRoomDlg;

enum class EManageEntry {
    PublicTextOn,
    PublicTextOff,
    VideoOn,
    VideoOff,
    SecondMicOn,
    SecondMicOff,
    QualitySpeech,
    QualitySinging,
    QualityHifi,
    ModeGrab,
    ModeQueue,
    ModeQueueForced,
    ModeOperator,
    MicTime,
    Topic,
    Lock,
    Activity,
    Score,
    Game,
    Last,
    // The owner's own entries.
    OwnerPage,
    SubOwnerPage,
};

struct tagManageEntry {
    EManageEntry id;
    QString text;
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    // A separator is drawn above the entry.
    bool groupStart = false;
};

class CManageMenu {
public:
    static constexpr int kMinRank = 50;    // below it the menu is refused
    static constexpr int kOwnerRank = 60;  // the owner's extra entries

    explicit CManageMenu(CRoomDlg& room) : m_room(room) {}

    static QString Title();
    // Whether the menu may open now; when not, the refusal line is written to the public view.
    bool MayOpen();
    // The entries in order, for the user's current rank and the room's current state.
    std::vector<tagManageEntry> Entries() const;
    // Runs an entry: 0 when its request went out or its page went to the browser (a line in
    // the room tells when no browser could take it), -1 when it is not offered, greyed, or its
    // operation refused.
    int Run(EManageEntry id);
    // The web page an owner's entry opens (empty for every other entry or when the service
    // names none).
    QString PageAddress(EManageEntry id) const;

private:
    bool Offered(EManageEntry id) const;

    CRoomDlg& m_room;
};
