#pragma once
// The member menu ("成员管理"), opened on a member of the list: its entries in order, greyed
// or removed for the user's rank, the member's rank, whether the member is the user and the
// microphone mode, and running an entry. The window draws the entries it is given and hands
// the chosen one back; entries whose operation this client does not have stay greyed.

#include <QString>

#include <vector>

class CRoomDlg;

enum class EMemberEntry {
    AccountNumber,
    Gift,
    VideoChat,
    Watch,
    VisitPrivateMic,
    VisitSpace,
    Stamp,
    Extend,
    QueueUp,
    QueueCancel,
    Kick,
    Ban,
    NoTyping,
    NoGrab,
    Rename,
    HandMic,
    HandSecondMic,
    TakeBackMic,
    HandHandle,
    MakeOperator,
    MakeSeniorOperator,
    BanSite,
    Block,
};

struct tagMemberEntry {
    EMemberEntry id;
    QString text;
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    // A separator is drawn above the entry.
    bool groupStart = false;
};

class CMemberMenu {
public:
    // Below it the menu keeps its first five entries only.
    static constexpr int kFullMenuRank = 21;
    // Below it banning and promoting are greyed.
    static constexpr int kBanRank = 50;
    // Members above it cannot be made temporary operators.
    static constexpr int kHighestPromotable = 30;

    explicit CMemberMenu(CRoomDlg& room) : m_room(room) {}

    static QString Title();
    // The entries for a member of the list; none for a member the list does not hold.
    std::vector<tagMemberEntry> Entries(const QString& id) const;
    // The menu opens on a member: that member becomes the one an activity scores.
    std::vector<tagMemberEntry> Open(const QString& id);
    // Runs an entry: 0 when its request went out or its local change was made, -1 when it is
    // not offered, greyed, or its operation refused.
    int Run(const QString& id, EMemberEntry entry);

private:
    CRoomDlg& m_room;
};
