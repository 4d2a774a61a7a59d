#include "server/RoomMembers.h"

#include "protocol/Commands.h"
#include "protocol/FrameCodec.h"
#include "protocol/keys/MembersKeys.h"
#include "server/Packets.h"

#include <QStringList>

#include <algorithm>

CKParam ArrivalPacket(const CRoomMember& m) {
    using namespace ArrivalKey;
    CKParam p = MakePacket(CMD_ARRIVAL);
    p.SetCString(ID, m.id);
    p.SetCString(NICKNAME, m.nickname);
    p.SetInt(RANK, m.rank);
    p.SetBoolean(REGISTERED, m.registered);
    p.SetBoolean(LISTED_FIRST, m.entryVip > 0);
    p.SetBoolean(FLAG_70, false);
    p.SetCString(ENTRY_TEXT, m.entryText);
    p.SetBoolean(FLAG_90, false);
    p.SetCString(TEXT_100, QString());
    p.SetInt(ACCOUNT_NUMBER, m.number);
    p.SetBoolean(HIDDEN, m.hidden);
    p.SetCString(TEXT_130, QString());
    p.SetInt(NUMBER_150, 0);
    p.SetInt(NUMBER_140, 0);
    p.SetInt(NUMBER_160, 0);
    p.SetInt(NUMBER_170, 0);
    p.SetInt(NUMBER_180, 0);
    p.SetInt(NUMBER_190, 0);
    p.SetInt(SENIOR_OPERATOR, m.seniorOperator ? 1 : 0);
    p.SetInt(NUMBER_210, 0);
    p.SetInt(NUMBER_220, 0);
    p.SetInt(ENTRY_PICTURE, m.entryEffect);
    p.SetInt(NUMBER_240, 0);
    p.SetShortInt(SHORT_250, 0);
    p.SetShortInt(SHORT_260, 0);
    p.SetShortInt(SHORT_270, 0);
    p.SetInt(FACE_END, static_cast<int>(m.faceEndsAt));
    p.SetShortInt(SHORT_290, 0);
    p.SetShortInt(SHORT_300, 2);
    p.SetShortInt(VIP_PICTURE, static_cast<short>(m.entryVip));
    p.SetBoolean(ON_PRIVATE_MIC, false);
    return p;
}

QString MemberText(const CRoomMember& m) {
    auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    const QStringList fields = {
        CommaFree(m.id),            // 1 identifier
        CommaFree(m.nickname),      // 2 nickname
        flag(m.registered),         // 3 registered
        QString::number(m.rank),    // 4 rank code
        flag(m.entryVip > 0),       // 5 flag B: listed first
        flag(false),                // 6 flag of key 70
        QString(),                  // 7 the record's text not carried by 130
        CommaFree(m.entryText),     // 8 entry text (key 80)
        QString(),                  // 9 text (key 100)
        flag(false),                // 10 flag (key 90)
        QString::number(m.number),  // 11 number (key 110)
        QStringLiteral("0"),        // 12 number (key 150)
        QStringLiteral("0"),        // 13 number (key 140)
        flag(m.hidden),             // 14 hidden (key 120)
        QStringLiteral("0"),        // 15-17 numbers (keys 170, 180, 190)
        QStringLiteral("0"),
        QStringLiteral("0"),
        QString::number(m.seniorOperator ? 1 : 0),  // 18 senior-operator mark (key 200)
        QStringLiteral("0"),                        // 19 number (key 210)
        QStringLiteral("0"),                        // 20 number (key 160)
        QStringLiteral("0"),                        // 21 number (key 220)
        QString::number(m.entryEffect),             // 22 entry picture (key 230)
        QStringLiteral("0"),                        // 23 number
        QStringLiteral("0"),                        // 24 number (key 240)
        QStringLiteral("0"),                        // 25-27 shorts (keys 250, 260, 270)
        QStringLiteral("0"),
        QStringLiteral("0"),
        QString::number(m.faceEndsAt),  // 28 face end time (key 280)
        QStringLiteral("0"),            // 29 short (key 290)
        QStringLiteral("2"),            // 30 short (key 300)
        QString::number(m.entryVip),    // 31 VIP entry picture (key 310)
        flag(false),                    // 32 on a private microphone
        flag(false),                    // 33 flag
    };
    return fields.join(QLatin1Char(','));
}

CRoomMembers::CRoomMembers(CRoomServer& server) : CRoomFeature(server) {
    server.MainRequests().On(CMD_MEMBER_LIST, EStage::Entered, this, &CRoomMembers::OnMemberList);
}

void CRoomMembers::OnMemberList(tagRoomRequest& r) {
    // The list is one packet: the asker, the microphone holders and the ranks come first, and
    // in a very full room the rest is cut where the packet would pass what clients accept.
    std::vector<const CRoomMember*> order;
    const tagMicState& mic = r.room->Mic();
    for (const auto& m : r.room->Members()) {
        order.push_back(m.get());
    }
    auto weight = [&](const CRoomMember* m) {
        if (m == r.member) {
            return 3;
        }
        if (m->id == mic.main || m->id == mic.second) {
            return 2;
        }
        return m->rank >= 30 ? 1 : 0;
    };
    std::stable_sort(order.begin(), order.end(), [&](const CRoomMember* a, const CRoomMember* b) {
        return weight(a) > weight(b);
    });
    CKParam reply = r.Reply();
    std::vector<QString> texts;
    // Room for the count field and the sequence and clock fields the connection adds.
    int size = reply.GetLength() + 10 + 20;
    for (const CRoomMember* m : order) {
        QString text = MemberText(*m);
        const int bytes = static_cast<int>(text.toUtf8().size()) + 6;
        if (size + bytes > kTcpFrame.maxLength - 64) {
            break;
        }
        size += bytes;
        texts.push_back(std::move(text));
    }
    reply.SetInt(MemberListReplyKey::COUNT, static_cast<int>(texts.size()));
    for (size_t i = 0; i < texts.size(); ++i) {
        reply.SetCString(static_cast<short>(MemberListReplyKey::FIRST_MEMBER + i), texts[i]);
    }
    r.peer.Send(reply);
}
