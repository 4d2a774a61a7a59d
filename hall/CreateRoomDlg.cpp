#include "hall/CreateRoomDlg.h"

#include "protocol/KParam.h"

#include <algorithm>

namespace {
constexpr int kFirstFormatKey = 40;
constexpr int kMaxFormats = 32767 - kFirstFormatKey;
}  // namespace

std::vector<RoomFormat> CCreateRoomDlg::ParseFormats(const CKParam& reply) {
    std::vector<RoomFormat> formats;
    const int count = std::clamp(reply.IntOr(30, 0), 0, kMaxFormats);
    for (int i = 0; i < count; ++i) {
        // A format is three fields, each closed by a comma; what follows the last comma is no
        // field, so "code,name,description" without its closing comma is skipped.
        QStringList parts =
            reply.TextOr(static_cast<short>(kFirstFormatKey + i)).split(QLatin1Char(','));
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
    request.SetCString(40, roomName);
    request.SetInt(50, hasArea ? m_areas[static_cast<size_t>(areaIndex)].id : 0);
    request.SetCString(60, password);
    request.SetInt(70, hasFormat ? m_formats[static_cast<size_t>(formatIndex)].code : 0);
    request.SetBoolean(80, visible);
}
