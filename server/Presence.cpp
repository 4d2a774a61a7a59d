#include "server/Presence.h"

#include "platform/Clock.h"
#include "server/AdminQueue.h"

#include <QRandomGenerator>

#include <algorithm>
#include <limits>

int CPresence::NewUserNumber() {
    // Positive, as the client holds -1 for "none", and drawn from the system's own source.
    return static_cast<int>(QRandomGenerator::system()->bounded(
        1u, static_cast<quint32>(std::numeric_limits<int>::max())));
}

tagVisitor CPresence::AddVisitor(const QString& nickname, const QString& machine, int64_t now,
                                 const QString& address, int userNumber) {
    tagVisitor v;
    v.address = address;
    ++m_visitorsPerAddress[address];
    v.userNumber = userNumber > 0 ? userNumber : NewUserNumber();
    v.machine = machine;
    v.lastSeen = now;
    // The halls of other processes number their visitors from the same first number: a name
    // one of them holds is passed over.
    constexpr int kTries = 1000;
    for (int tries = 1;; ++tries) {
        v.number = m_nextVisitor++;
        v.name = QStringLiteral("游客%1").arg(v.number);
        v.nickname = nickname.isEmpty() ? v.name : nickname;
        if (!m_store || tries == kTries ||
            m_store->ClaimPresence(
                {v.name, v.number, v.nickname, false, v.userNumber, machine, 0, 0, m_hall}) ||
            m_store->Lost()) {
            break;
        }
    }
    m_visitors[Key(v.name)] = v;
    return v;
}

const tagVisitor* CPresence::Visitor(const QString& name) const {
    auto it = m_visitors.find(Key(name));
    return it == m_visitors.end() ? nullptr : &it->second;
}

int CPresence::VisitorsFrom(const QString& address) const {
    auto it = m_visitorsPerAddress.find(address);
    return it == m_visitorsPerAddress.end() ? 0 : it->second;
}

void CPresence::ForgetVisitor(std::map<QString, tagVisitor>::iterator it) {
    auto count = m_visitorsPerAddress.find(it->second.address);
    if (count != m_visitorsPerAddress.end() && --count->second <= 0) {
        m_visitorsPerAddress.erase(count);
    }
    Forget(it->second.name);
    m_pushes.erase(it->first);
    m_visitors.erase(it);
}

void CPresence::Forget(const QString& name) {
    if (m_store) {
        m_store->RemovePresence(name, m_hall);
    }
}

void CPresence::RemoveVisitor(const QString& name) {
    auto it = m_visitors.find(Key(name));
    if (it != m_visitors.end()) {
        ForgetVisitor(it);
    }
}

const tagSession& CPresence::Login(tagSession session) {
    session.userNumber = NewUserNumber();
    const QString key = Key(session.account);
    auto it = m_sessions.find(key);
    if (it != m_sessions.end() && it->second.machine != session.machine) {
        auto& list = m_superseded[key];
        if (std::find(list.begin(), list.end(), it->second.machine) == list.end()) {
            list.push_back(it->second.machine);
        }
    }
    // A machine that logs in again is no longer the one that was taken over.
    auto sup = m_superseded.find(key);
    if (sup != m_superseded.end()) {
        auto& list = sup->second;
        list.erase(std::remove(list.begin(), list.end(), session.machine), list.end());
    }
    if (m_store) {
        // A machine logging in again from inside a room stays in it.
        const auto was = m_store->FindPresence(session.account);
        m_store->PutPresence({session.account, session.number, session.nickname, true,
                              session.userNumber, session.machine, was ? was->room : 0,
                              was ? was->roomServer : 0, m_hall});
        // The login of another live hall: that hall is told, as it alone reaches the client.
        if (was && was->registered && was->hall != m_hall && was->machine != session.machine &&
            m_store->LiveHall(was->hall, CClock::Get().Now() - m_liveSeconds)) {
            CAdminQueue(*m_store).Enqueue(QStringLiteral("logged-elsewhere"), 0, was->machine,
                                          session.account, was->hall);
        }
    }
    return m_sessions[key] = session;
}

void CPresence::Logout(const QString& account) {
    Forget(account);
    m_sessions.erase(Key(account));
    m_pushes.erase(Key(account));
}

const tagSession* CPresence::Session(const QString& account) const {
    auto it = m_sessions.find(Key(account));
    return it == m_sessions.end() ? nullptr : &it->second;
}

std::optional<QString> CPresence::LoggedInFrom(const QString& account) const {
    if (const tagSession* s = Session(account)) {
        return s->machine;
    }
    const auto row = m_store ? m_store->LivePresence(account, CClock::Get().Now() - m_liveSeconds)
                             : std::nullopt;
    return row && row->registered ? std::optional<QString>(row->machine) : std::nullopt;
}

void CPresence::TakenOver(const QString& account, const QString& machine) {
    const QString key = Key(account);
    auto it = m_sessions.find(key);
    if (it == m_sessions.end() || it->second.machine != machine) {
        return;
    }
    // The row is the other hall's now: only this hall's memory of the login goes.
    m_sessions.erase(it);
    m_pushes.erase(key);
    auto& list = m_superseded[key];
    if (std::find(list.begin(), list.end(), machine) == list.end()) {
        list.push_back(machine);
    }
}

bool CPresence::IsLoggedIn(const QString& account, int userNumber, const QString& machine) const {
    const tagSession* s = Session(account);
    return s && s->userNumber == userNumber && s->machine == machine;
}

bool CPresence::IsVisitor(const QString& name, int userNumber, const QString& machine) const {
    const tagVisitor* v = Visitor(name);
    return v && v->userNumber == userNumber && v->machine == machine;
}

std::optional<tagPresenceRow> CPresence::Vouched(const QString& name, int userNumber,
                                                 const QString& machine) const {
    if (const tagSession* s = Session(name); s && IsLoggedIn(name, userNumber, machine)) {
        return tagPresenceRow{s->account, s->number, s->nickname, true, s->userNumber, s->machine};
    }
    if (const tagVisitor* v = Visitor(name); v && IsVisitor(name, userNumber, machine)) {
        return tagPresenceRow{v->name, v->number, v->nickname, false, v->userNumber, v->machine};
    }
    // The login or the visitor of another process's hall, while that hall beats.
    auto row =
        m_store ? m_store->LivePresence(name, CClock::Get().Now() - m_liveSeconds) : std::nullopt;
    if (row && row->userNumber == userNumber && row->machine == machine) {
        return row;
    }
    return std::nullopt;
}

tagPush CPresence::Touch(const QString& name, int userNumber, const QString& machine, int64_t now) {
    const QString key = Key(name);
    if (m_shuttingDown) {
        return {EPush::Quit, 0};
    }
    auto sup = m_superseded.find(key);
    if (sup != m_superseded.end()) {
        auto& list = sup->second;
        auto hit = std::find(list.begin(), list.end(), machine);
        if (hit != list.end()) {
            list.erase(hit);
            if (list.empty()) {
                m_superseded.erase(sup);
            }
            return {EPush::LoggedElsewhere, 0};
        }
    }
    if (auto s = m_sessions.find(key);
        s != m_sessions.end() && IsLoggedIn(name, userNumber, machine)) {
        s->second.lastSeen = now;
    } else if (auto v = m_visitors.find(key);
               v != m_visitors.end() && IsVisitor(name, userNumber, machine)) {
        v->second.lastSeen = now;
    } else {
        return {};
    }
    auto push = m_pushes.find(key);
    if (push != m_pushes.end()) {
        const tagPush out = push->second;
        m_pushes.erase(push);
        return out;
    }
    return {};
}

bool CPresence::QueuePush(const QString& name, const tagPush& push) {
    const QString key = Key(name);
    if (!m_sessions.count(key) && !m_visitors.count(key)) {
        return false;
    }
    m_pushes[key] = push;
    return true;
}

void CPresence::EnterRoom(const QString& name, int room, int roomServer) {
    m_rooms[Key(name)] = room;
    if (m_store) {
        m_store->SetPresenceRoom(name, room, roomServer);
    }
}

void CPresence::LeaveRoom(const QString& name, int room) {
    auto it = m_rooms.find(Key(name));
    if (it != m_rooms.end() && it->second == room) {
        m_rooms.erase(it);
    }
    if (m_store) {
        m_store->LeavePresenceRoom(name, room);
    }
}

int CPresence::RoomOf(const QString& name) const {
    auto it = m_rooms.find(Key(name));
    if (it != m_rooms.end()) {
        return it->second;
    }
    // A room server that stopped beating took its rooms' members with it.
    const auto row = m_store ? m_store->FindPresence(name) : std::nullopt;
    return row && row->room != 0 &&
                   m_store->LiveRoomServer(row->roomServer, CClock::Get().Now() - m_liveSeconds)
               ? row->room
               : 0;
}

void CPresence::Expire(int64_t now, int timeoutSeconds) {
    // Someone inside a room is present whatever the hall heard lately.
    for (auto it = m_visitors.begin(); it != m_visitors.end();) {
        if (now - it->second.lastSeen > timeoutSeconds && RoomOf(it->first) == 0) {
            ForgetVisitor(it++);
        } else {
            ++it;
        }
    }
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (now - it->second.lastSeen > timeoutSeconds && RoomOf(it->first) == 0) {
            Forget(it->second.account);
            m_pushes.erase(it->first);
            it = m_sessions.erase(it);
        } else {
            ++it;
        }
    }
}
