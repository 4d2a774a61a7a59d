#pragma once
// The room's members filed by rank code: general list 1 (visitors and members without an
// account), general list 2 (registered members, those with flag B first), one list per
// higher rank code and the owner's single slot. An index by identifier sits beside the ordered
// lists so finding, filing and removing stay cheap with ten thousand members.

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

    // Files a member by rank code; a member already present is refiled.
    void Add(UserInfo member);
    // Removes a member; false when not present. The removed record is copied to out.
    bool Remove(const QString& id, UserInfo* out = nullptr);
    void Clear();

    const UserInfo* Find(const QString& id) const;
    UserInfo* Find(const QString& id);
    bool Contains(const QString& id) const { return m_index.contains(id); }
    int Count() const { return static_cast<int>(m_index.size()); }
    // Files a member again after its rank or flags changed.
    void Refile(const QString& id);

    // Members of one list in order.
    const std::list<UserInfo>& List(EList list) const { return m_lists[list]; }
    // Every member: the owner, then the lists of codes 80, 70, 50, 40 and 30, then general
    // lists 2 and 1.
    void ForEach(const std::function<void(const UserInfo&)>& f) const;

    // The full member list: members whose list field 7 was not "0", and every arrival.
    void SetListed(const QString& id, bool listed);
    bool IsListed(const QString& id) const;

    static EList ListFor(const UserInfo& member);

private:
    struct tagSlot {
        EList list;
        std::list<UserInfo>::iterator it;
        bool listed;
    };
    std::list<UserInfo> m_lists[LIST_COUNT];
    QHash<QString, tagSlot> m_index;
};
