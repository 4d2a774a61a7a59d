#pragma once
// Mic guards: members without a person behind them that hold places in the room. The user adds
// them one at a time under nicknames of their choosing, each its own connection to the room's
// server, and lets them go all at once or one at a time, oldest first. They go with the room.

#include "room/RoomFeature.h"

#include <QString>

#include <memory>
#include <vector>

class CMemberList;
class CRoomDlg;
class CVirtualClient;

class CMicGuards : public IRoomFeature {
public:
    // The room window's timer that lets the oldest guard go.
    enum : unsigned { TIMER_EXIT = 5 };
    // A room needs this many members counted before it takes guards.
    static constexpr int kMembersNeeded = 11;
    // Identifiers the service gives guards; they do not count as members.
    static constexpr int kFirstGuardId = 7990000;
    static constexpr int kLastGuardId = 7999999;

    explicit CMicGuards(CRoomDlg& room);
    ~CMicGuards() override;

    void Register(CDispatchTable& table) override;
    void OnSettings(const tagRoomSettings& settings) override;
    void OnRoomClosing(bool keepSharedCapture) override;
    bool OnTimer(unsigned id) override;

    // The members that count for guards: every row of the list but its first and its last,
    // and no guard.
    static int CountedMembers(const CMemberList& list);
    // How many guards the room takes: three times its quota.
    int Allowed() const { return 3 * m_quota; }

    // The room menu's entries. Add is 0 when a guard was started; Remove runs the exit dialog.
    int Add();
    void Remove();
    // Closes every guard at once.
    void CloseAll();

    int Count() const { return static_cast<int>(m_guards.size()); }
    const CVirtualClient& Guard(int i) const { return *m_guards.at(static_cast<size_t>(i)); }

private:
    CRoomDlg& m_room;
    int m_quota = 0;
    std::vector<std::unique_ptr<CVirtualClient>> m_guards;  // in the order of adding
};
