#include "server/RoomChat.h"

#include "platform/Clock.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/ChatKeys.h"
#include "server/Packets.h"

#include <QStringList>

CRoomChat::CRoomChat(CRoomServer& server) : CRoomFeature(server) {
    server.MainRequests().On(CMD_TEXT, EStage::Entered, this, &CRoomChat::OnText);
}

QString CRoomChat::ForbiddenHit(const QString& text, const QString& list) {
    const QString lower = text.toLower();
    for (const QString& word : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString w = word.trimmed();
        if (!w.isEmpty() && lower.contains(w.toLower())) {
            return w;
        }
    }
    return QString();
}

void CRoomChat::OnText(tagRoomRequest& r) {
    const tagRoomRecord& room = r.room->Record();
    CRoomMember& sender = *r.member;
    const QString target = r.packet.TextOr(TextKey::TARGET);
    const QString line = r.packet.TextOr(TextKey::LINE);
    const bool isPrivate = r.packet.IntOr(TextKey::PRIVATE, 0) != 0;
    // The text alone; the line around it holds the sender's own markup.
    const QString text = r.packet.TextOr(TextKey::TEXT, line);
    if (line.isEmpty() || line.size() > m_server.Config().limits.maxTextBytes) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (sender.typingForbidden) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    if (!ForbiddenHit(text, room.forbiddenTexts).isEmpty()) {
        r.Refuse(REFUSE_BAD_TEXT);
        return;
    }
    if (!isPrivate && !room.publicText && sender.rank < RANK_OPERATOR) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    const int64_t nowMs = CClock::Get().UptimeMs();
    if (sender.lastTextMs >= 0 &&
        nowMs - sender.lastTextMs < m_server.Config().limits.chatIntervalMs) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    CRoomMember* receiver = nullptr;
    if (isPrivate) {
        receiver = r.room->Find(target);
        if (!receiver || receiver == &sender) {
            r.Refuse(REFUSE_BAD_USER);
            return;
        }
    }
    sender.lastTextMs = nowMs;
    r.Answer();
    CKParam announce = MakePacket(CMD_TEXT_LINE);
    announce.SetCString(TextLineKey::SENDER, sender.id);
    announce.SetCString(TextLineKey::TARGET, isPrivate ? receiver->id : target);
    announce.SetCString(TextLineKey::LINE, line);
    announce.SetInt(TextLineKey::PRIVATE, isPrivate ? 1 : 0);
    // The sender shows its own line at once; everybody else hears it from here.
    if (isPrivate) {
        if (receiver->main) {
            receiver->main->Send(announce);
        }
    } else {
        r.room->Broadcast(announce, &sender);
    }
}
