#pragma once
// The room's members filed by rank code: general list 1 (visitors and members without an
// account), general list 2 (registered members, those with flag B first), one list per
// higher rank code and the owner's place. The ordered lists are the full member list, what the
// list view shows and counts; a member the member list marks as kept out of it is filed for
// finding alone. An index by identifier sits beside the ordered lists so finding, filing and
// removing stay cheap with ten thousand members.

#include "room/UserInfo.h"

#include <QHash>
#include <QString>

#include <functional>
#include <list>
#include <vector>

class CMemberList {
public:
    enum EList : int {
        GENERAL_1,
        GENERAL_2_B,  // general list 2, members with flag B
        GENERAL_2,    // general list 2, the others
        LIST_30,
        LIST_40,
        LIST_50,
        OWNER,
        LIST_70,
        LIST_80,
        LIST_COUNT,
    };

    // Files a member by rank code; a member already present is refiled. listed: the member
    // belongs to the full member list; otherwise it is only found by its identifier.
    void Add(UserInfo member, bool listed = true);
    // Removes a member; false when not present. The removed record is copied to out.
    bool Remove(const QString& id, UserInfo* out = nullptr);
    void Clear();

    const UserInfo* Find(const QString& id) const;
    UserInfo* Find(const QString& id);
    bool Contains(const QString& id) const { return m_index.contains(id); }
    // Members of the full member list.
    int Count() const { return static_cast<int>(m_index.size() - m_unlisted.size()); }
    // Files a member again after its rank or flags changed.
    void Refile(const QString& id);

    // Members of one list of the full member list in order. The owner's place holds every
    // member with the owner's rank code, the first filed first.
    const std::list<UserInfo>& List(EList list) const { return m_lists[list]; }
    // Every member of the full member list: the owners, then the lists of codes 80, 70, 50, 40
    // and 30, then general lists 2 and 1.
    void ForEach(const std::function<void(const UserInfo&)>& f) const;

    // Whether a member is in the full member list: every arrival is, and those of the member
    // list whose field 7 was not "0".
    bool IsListed(const QString& id) const;

    static EList ListFor(const UserInfo& member);

private:
    struct tagSlot {
        EList list;
        std::list<UserInfo>::iterator it;  // in m_lists[list], or in m_unlisted
        bool listed;
    };
    std::list<UserInfo>& Holder(const tagSlot& slot) {
        return slot.listed ? m_lists[slot.list] : m_unlisted;
    }
    std::list<UserInfo> m_lists[LIST_COUNT];
    // Members kept out of the full member list, in no order.
    std::list<UserInfo> m_unlisted;
    QHash<QString, tagSlot> m_index;
};
