#pragma once
// The hall's lists: the area lists, the room list with its marks, and the table of room
// addresses. The hall keeps what each entry stands for; the view only draws.

#include "hall/Directory.h"
#include "hall/HallView.h"

#include <QString>

#include <array>
#include <vector>

class CKParam;
struct tagUserRooms;

struct tagRoomIP {
    int room = 0;
    QString address;
    QString line;
};

class CHallLists {
public:
    static constexpr int kAreaLists = 4;
    // Room-list replies cut the name so that name and state take at most this many characters.
    static constexpr int kReplyTextLimit = 20;

    explicit CHallLists(IHallView& view) : m_view(view) {}

    void FillArea(int list, const std::vector<tagAreaItem>& items);
    // A room-list document: names cut to the column by drawn width, rooms' lines remembered.
    void FillRoomsFromDocument(const std::vector<tagRoomItem>& items);
    // Reply 81: rows "room,name,state" in keys 31 onwards.
    void FillRoomsFromReply(const CKParam& reply);
    void Clear();

    // Marks the room list's entries that are in the user's first or second room list.
    void RefreshMarks(const tagUserRooms& rooms);

    // A room list entry was selected: its number goes to the room-number box, its text (and
    // the room's line, when known) to the information line. False for an index out of range.
    bool SelectRoom(int index);

    void AddRoomAddress(const tagRoomIP& record) { m_addresses.push_back(record); }
    // The latest record of a room, or nullptr.
    const tagRoomIP* FindRoomAddress(int room) const;

    const std::vector<tagListEntry>& Area(int list) const {
        return m_areas.at(static_cast<size_t>(list));
    }
    const std::vector<tagListEntry>& Rooms() const { return m_rooms; }
    const std::vector<EListMark>& Marks() const { return m_marks; }

private:
    void ShowRooms();

    IHallView& m_view;
    std::array<std::vector<tagListEntry>, kAreaLists> m_areas;
    std::vector<tagListEntry> m_rooms;
    std::vector<EListMark> m_marks;
    std::vector<tagRoomIP> m_addresses;
};
