// Member texts of the member list and arrival packets come from the room server.

#include "core/AppState.h"
#include "protocol/KParam.h"
#include "room/MemberList.h"
#include "room/UserInfo.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CMemberList list;
    for (int edition : {EDITION_20, EDITION_50, EDITION_70}) {
        UserInfo member;
        bool listed = false;
        if (UserInfo::FromMemberText(text, edition, QStringLiteral("默认"), member, listed)) {
            list.Add(member, listed);
        }
    }
    CKParam packet;
    if (packet.SetBufferPtr(reinterpret_cast<const char*>(data), static_cast<int>(size)) == 0) {
        UserInfo arrival = UserInfo::FromArrival(packet, EDITION_70, 1700000000);
        list.Add(arrival);
        list.Refile(arrival.id);
    }
    list.ForEach([](const UserInfo&) {});
    list.Clear();
    return 0;
}
