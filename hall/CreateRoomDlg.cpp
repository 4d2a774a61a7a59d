#include "hall/CreateRoomDlg.h"

#include "protocol/KParam.h"
#include "protocol/keys/CenterKeys.h"

#include <algorithm>

namespace {
constexpr int kMaxFormats = 32767 - RoomFormatsReplyKey::FIRST_FORMAT;
}  // namespace

std::vector<RoomFormat> CCreateRoomDlg::ParseFormats(const CKParam& reply) {
    std::vector<RoomFormat> formats;
    const int count = std::clamp(reply.IntOr(RoomFormatsReplyKey::COUNT, 0), 0, kMaxFormats);
    for (int i = 0; i < count; ++i) {
        // A format is three fields, each closed by a comma; what follows the last comma is no
        // field, so "code,name,description" without its closing comma is skipped.
        QStringList parts = reply.TextOr(static_cast<short>(RoomFormatsReplyKey::FIRST_FORMAT + i))
                                .split(QLatin1Char(','));
        parts.removeLast();
        if (parts.size() != 3) {
            continue;
        }
        formats.push_back({parts[0].trimmed().toInt(), parts[1], parts[2]});
    }
    return formats;
}

void CCreateRoomDlg::AppendChoices(CKParam& request) const {
    const bool hasArea = areaIndex >= 0 && areaIndex < static_cast<int>(m_areas.size());
    const bool hasFormat = formatIndex >= 0 && formatIndex < static_cast<int>(m_formats.size());
    request.SetCString(CreateRoomKey::NAME, roomName);
    request.SetInt(CreateRoomKey::AREA, hasArea ? m_areas[static_cast<size_t>(areaIndex)].id : 0);
    request.SetCString(CreateRoomKey::PASSWORD, password);
    request.SetInt(CreateRoomKey::FORMAT,
                   hasFormat ? m_formats[static_cast<size_t>(formatIndex)].code : 0);
    request.SetBoolean(CreateRoomKey::LISTED, visible);
}
