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

void CMemberList::Add(UserInfo member, bool listed) {
    if (auto it = m_index.find(member.id); it != m_index.end()) {
        Holder(*it).erase(it->it);
        m_index.erase(it);
    }
    const EList list = ListFor(member);
    std::list<UserInfo>& holder = listed ? m_lists[list] : m_unlisted;
    const QString id = member.id;
    holder.push_back(std::move(member));
    m_index.insert(id, tagSlot{list, std::prev(holder.end()), listed});
}

bool CMemberList::Remove(const QString& id, UserInfo* out) {
    const auto it = m_index.find(id);
    if (it == m_index.end()) {
        return false;
    }
    if (out) {
        *out = std::move(*it->it);
    }
    Holder(*it).erase(it->it);
    m_index.erase(it);
    return true;
}

void CMemberList::Clear() {
    for (auto& l : m_lists) {
        l.clear();
    }
    m_unlisted.clear();
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
    Holder(*it).erase(it->it);
    m_index.erase(it);
    Add(std::move(member), listed);
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

bool CMemberList::IsListed(const QString& id) const {
    const auto it = m_index.constFind(id);
    return it != m_index.constEnd() && it->listed;
}
