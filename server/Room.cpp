#include "server/Room.h"

#include "protocol/KParam.h"

#include <algorithm>

CRoom::CRoom(const tagRoomRecord& record, TimerHook onTimer)
    : m_record(record), m_onTimer(std::move(onTimer)) {
    CreateMessageWindow(QStringLiteral("room %1").arg(record.number));
}

CRoom::~CRoom() {
    DestroyMessageWindow();
}

CRoomMember* CRoom::Find(const QString& id) const {
    auto it = m_index.find(Key(id));
    return it == m_index.end() ? nullptr : it->second;
}

CRoomMember& CRoom::Add(std::unique_ptr<CRoomMember> member) {
    CRoomMember& added = *member;
    m_index[Key(added.id)] = &added;
    m_members.push_back(std::move(member));
    return added;
}

std::unique_ptr<CRoomMember> CRoom::Remove(const QString& id) {
    auto it = std::find_if(m_members.begin(), m_members.end(), [&](const auto& m) {
        return m->id.compare(id, Qt::CaseInsensitive) == 0;
    });
    if (it == m_members.end()) {
        return nullptr;
    }
    std::unique_ptr<CRoomMember> out = std::move(*it);
    m_members.erase(it);
    m_index.erase(Key(id));
    return out;
}

void CRoom::Broadcast(const CKParam& packet, const CRoomMember* except) const {
    const CSharedPacket shared(packet);
    for (const auto& m : m_members) {
        if (m.get() != except && m->main) {
            m->main->SendShared(shared);
        }
    }
}

void CRoom::BroadcastMedia(const CKParam& packet, const CRoomMember* except) const {
    const CSharedPacket shared(packet);
    for (const auto& m : m_members) {
        if (m.get() != except && m->second) {
            m->second->SendShared(shared, true);
        }
    }
}

void CRoom::OnTimer(unsigned id) {
    if (m_onTimer) {
        m_onTimer(*this, id);
    }
}
