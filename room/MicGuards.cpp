#include "room/MicGuards.h"

#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/GuardDialogs.h"
#include "room/MemberList.h"
#include "room/RoomDlg.h"
#include "room/RoomMembers.h"
#include "room/VirtualClient.h"

namespace {

bool IsGuardId(const QString& id) {
    bool ok = false;
    const int number = id.toInt(&ok);
    return ok && number >= CMicGuards::kFirstGuardId && number <= CMicGuards::kLastGuardId;
}

}  // namespace

CMicGuards::CMicGuards(CRoomDlg& room) : m_room(room) {}

CMicGuards::~CMicGuards() = default;

void CMicGuards::Register(CDispatchTable& table) {
    // Sent by each guard's own connection, never by the room's.
    table.Sends(CMD_GUARD_ENTER);
}

void CMicGuards::OnSettings(const tagRoomSettings& settings) {
    m_quota = settings.guardQuota;
}

void CMicGuards::OnRoomClosing(bool) {
    CloseAll();
}

int CMicGuards::CountedMembers(const CMemberList& list) {
    const int rows = list.Count();
    int row = 0;
    int counted = 0;
    list.ForEach([&](const UserInfo& member) {
        if (row != 0 && row != rows - 1 && !IsGuardId(member.id)) {
            ++counted;
        }
        ++row;
    });
    return counted;
}

int CMicGuards::Add() {
    if (CountedMembers(m_room.Members().List()) < kMembersNeeded) {
        MessageBox(LoadString(IDS_GUARDS_NEED_TEN));
        return -1;
    }
    const int allowed = Allowed();
    if (Count() >= allowed) {
        QString text = LoadString(IDS_GUARDS_AT_MOST);
        text.replace(QStringLiteral("XXX"), QString::number(allowed));
        MessageBox(text);
        return -1;
    }
    CAddGuardDlg dialog(allowed);
    if (dialog.DoModal() != IDOK || dialog.Nickname().isEmpty()) {
        return -1;
    }
    // The guard goes where the room itself is connected.
    QString host;
    unsigned port = 0;
    if (!m_room.Host().MainConnection().GetPeerName(host, port)) {
        return -1;
    }
    auto guard = std::make_unique<CVirtualClient>();
    if (guard->KCreate() != 0 || guard->KConnect(host, static_cast<int>(port)) != 0) {
        return -1;
    }
    guard->SetNickname(dialog.Nickname());
    guard->SetRoom(m_room.Entry().room);
    m_guards.push_back(std::move(guard));
    return 0;
}

void CMicGuards::Remove() {
    CGuardExitDlg dialog;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    if (dialog.Seconds() < 1) {
        CloseAll();
        return;
    }
    m_room.SetTimer(TIMER_EXIT, static_cast<unsigned>(dialog.Seconds()) * 1000u);
}

void CMicGuards::CloseAll() {
    m_room.KillTimer(TIMER_EXIT);
    m_guards.clear();
}

bool CMicGuards::OnTimer(unsigned id) {
    if (id != TIMER_EXIT) {
        return false;
    }
    if (!m_guards.empty()) {
        m_guards.erase(m_guards.begin());
    }
    if (m_guards.empty()) {
        m_room.KillTimer(TIMER_EXIT);
    }
    return true;
}
