#include "hall/HallLists.h"

#include "core/AppState.h"
#include "protocol/KParam.h"
#include "protocol/keys/CenterKeys.h"

#include <algorithm>

namespace {

// A count from the wire is held to what keys can address.
constexpr int kMaxRows = 32767 - RoomListReplyKey::FIRST_ROW;

bool Contains(const std::vector<int>& rooms, int room) {
    return std::find(rooms.begin(), rooms.end(), room) != rooms.end();
}

}  // namespace

void CHallLists::FillArea(int list, const std::vector<tagAreaItem>& items) {
    if (list < 0 || list >= kAreaLists) {
        return;
    }
    auto& entries = m_areas[static_cast<size_t>(list)];
    entries.clear();
    for (const auto& item : items) {
        entries.push_back({item.name, item.name, item.id});
    }
    m_view.SetAreaList(list, entries);
}

void CHallLists::FillRoomsFromDocument(const std::vector<tagRoomItem>& items) {
    m_rooms.clear();
    const int column = m_view.RoomColumnWidth();
    const TextWidthFn width = [this](const QString& text) { return m_view.TextWidth(text); };
    for (const auto& item : items) {
        const QString cut = CutToWidth(item.name, item.state, column, width);
        m_rooms.push_back({cut + item.state, item.name, item.room});
        m_addresses.push_back({item.room, QString(), item.isp});
    }
    ShowRooms();
}

void CHallLists::FillRoomsFromReply(const CKParam& reply) {
    m_rooms.clear();
    const int rows = std::clamp(reply.IntOr(RoomListReplyKey::COUNT, 0), 0, kMaxRows);
    for (int i = 0; i < rows; ++i) {
        const QString row = reply.TextOr(static_cast<short>(RoomListReplyKey::FIRST_ROW + i));
        const int first = row.indexOf(QLatin1Char(','));
        const int second = first < 0 ? -1 : row.indexOf(QLatin1Char(','), first + 1);
        if (second < 0) {
            continue;  // not a row of three fields
        }
        bool ok = false;
        const int room = row.left(first).trimmed().toInt(&ok);
        if (!ok) {
            continue;
        }
        const QString name = row.mid(first + 1, second - first - 1);
        const QString state = row.mid(second + 1);
        m_rooms.push_back({CutToLength(name, state, kReplyTextLimit) + state, name + state, room});
    }
    ShowRooms();
}

void CHallLists::Clear() {
    m_rooms.clear();
    ShowRooms();
}

void CHallLists::ShowRooms() {
    m_marks.assign(m_rooms.size(), EListMark::None);
    m_view.SetRoomList(m_rooms);
}

void CHallLists::RefreshMarks(const tagUserRooms& rooms) {
    std::vector<EListMark> before = std::move(m_marks);
    before.resize(m_rooms.size(), EListMark::None);
    m_marks.assign(m_rooms.size(), EListMark::None);
    for (size_t i = 0; i < m_rooms.size(); ++i) {
        const int room = m_rooms[i].data;
        // The second list is drawn after the first, so a room in both shows the second mark.
        EListMark mark = EListMark::None;
        if (Contains(rooms.second, room)) {
            mark = EListMark::Second;
        } else if (Contains(rooms.first, room)) {
            mark = EListMark::First;
        }
        m_marks[i] = mark;
        // A mark the account no longer earns (after a logout) is taken off as well.
        if (mark != EListMark::None || before[i] != EListMark::None) {
            m_view.SetRoomMark(static_cast<int>(i), mark);
        }
    }
}

bool CHallLists::SelectRoom(int index) {
    if (index < 0 || index >= static_cast<int>(m_rooms.size())) {
        return false;
    }
    const tagListEntry& entry = m_rooms[static_cast<size_t>(index)];
    m_view.SetRoomNumberText(QString::number(entry.data));
    QString information = entry.text;
    if (const tagRoomIP* record = FindRoomAddress(entry.data)) {
        information += QLatin1Char('(') + record->line + QLatin1Char(')');
    }
    m_view.SetInformation(information);
    return true;
}

const tagRoomIP* CHallLists::FindRoomAddress(int room) const {
    for (auto it = m_addresses.rbegin(); it != m_addresses.rend(); ++it) {
        if (it->room == room) {
            return &*it;
        }
    }
    return nullptr;
}
