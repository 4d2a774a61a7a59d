#include "room/MemberList.h"

CMemberList::EList CMemberList::ListFor(const UserInfo& m) {
    switch (m.rank) {
        case RANK_OPERATOR:
            return LIST_30;
        case RANK_40:
            return LIST_40;
        case RANK_50:
            return LIST_50;
        case RANK_OWNER:
            return OWNER;
        case RANK_70:
            return LIST_70;
        case RANK_80:
            return LIST_80;
        default:
            // Visitors, members and any code the table does not know.
            if (!m.registered) {
                return GENERAL_1;
            }
            return m.flagB ? GENERAL_2_B : GENERAL_2;
    }
}

void CMemberList::Add(UserInfo member) {
    bool listed = true;
    if (auto it = m_index.find(member.id); it != m_index.end()) {
        listed = it->listed;
        m_lists[it->list].erase(it->it);
        m_index.erase(it);
    }
    const EList list = ListFor(member);
    if (list == OWNER && !m_lists[OWNER].empty()) {
        // The owner slot holds one member: a new owner takes it.
        m_index.remove(m_lists[OWNER].front().id);
        m_lists[OWNER].clear();
    }
    const QString id = member.id;
    m_lists[list].push_back(std::move(member));
    m_index.insert(id, tagSlot{list, std::prev(m_lists[list].end()), listed});
}

bool CMemberList::Remove(const QString& id, UserInfo* out) {
    const auto it = m_index.find(id);
    if (it == m_index.end()) {
        return false;
    }
    if (out) {
        *out = std::move(*it->it);
    }
    m_lists[it->list].erase(it->it);
    m_index.erase(it);
    return true;
}

void CMemberList::Clear() {
    for (auto& l : m_lists) {
        l.clear();
    }
    m_index.clear();
}

const UserInfo* CMemberList::Find(const QString& id) const {
    const auto it = m_index.constFind(id);
    return it == m_index.constEnd() ? nullptr : &*it->it;
}

UserInfo* CMemberList::Find(const QString& id) {
    const auto it = m_index.find(id);
    return it == m_index.end() ? nullptr : &*it->it;
}

void CMemberList::Refile(const QString& id) {
    const auto it = m_index.find(id);
    if (it == m_index.end()) {
        return;
    }
    const bool listed = it->listed;
    UserInfo member = std::move(*it->it);
    m_lists[it->list].erase(it->it);
    m_index.erase(it);
    Add(std::move(member));
    SetListed(id, listed);
}

void CMemberList::ForEach(const std::function<void(const UserInfo&)>& f) const {
    static constexpr EList kOrder[] = {OWNER,   LIST_80,     LIST_70,   LIST_50,  LIST_40,
                                       LIST_30, GENERAL_2_B, GENERAL_2, GENERAL_1};
    for (EList l : kOrder) {
        for (const auto& m : m_lists[l]) {
            f(m);
        }
    }
}

void CMemberList::SetListed(const QString& id, bool listed) {
    if (auto it = m_index.find(id); it != m_index.end()) {
        it->listed = listed;
    }
}

bool CMemberList::IsListed(const QString& id) const {
    const auto it = m_index.constFind(id);
    return it != m_index.constEnd() && it->listed;
}
