#include "server/RoomChat.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
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

namespace {

// The character a reference names ("&lt;", "&#24191;", "&#x5E7F;"), and how many characters
// the reference takes; 0 when there is none at the position.
int ReadReference(const QString& html, int at, QString& out) {
    static const std::pair<const char*, char16_t> kNamed[] = {
        {"lt", u'<'}, {"gt", u'>'}, {"amp", u'&'}, {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u' '}};
    const int n = static_cast<int>(html.size());
    int i = at + 1;
    if (i < n && html[i] == QLatin1Char('#')) {
        ++i;
        const bool hex = i < n && (html[i] == QLatin1Char('x') || html[i] == QLatin1Char('X'));
        i += hex ? 1 : 0;
        auto isDigit = [hex](QChar ch) {
            const char16_t u = ch.unicode();
            return (u >= u'0' && u <= u'9') ||
                   (hex && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')));
        };
        const int digits = i;
        while (i < n && isDigit(html[i])) {
            ++i;
        }
        // Leading zeros name the same character, however many there are.
        QString number = html.mid(digits, i - digits);
        while (number.size() > 1 && number.front() == QLatin1Char('0')) {
            number.remove(0, 1);
        }
        bool ok = false;
        const uint code = number.size() <= 8 ? number.toUInt(&ok, hex ? 16 : 10) : 0;
        if (!ok || code == 0 || code > 0x10FFFF) {
            return 0;
        }
        // Views read a reference without its closing ";" as well.
        i += i < n && html[i] == QLatin1Char(';') ? 1 : 0;
        const char32_t c = code;
        out = QString::fromUcs4(&c, 1);
        return i - at;
    }
    for (const auto& [name, c] : kNamed) {
        const QString named = QLatin1Char('&') + QLatin1String(name);
        if (html.mid(at, named.size()).compare(named, Qt::CaseInsensitive) == 0) {
            const int end = at + static_cast<int>(named.size());
            out = QChar(c);
            return end - at + (end < n && html[end] == QLatin1Char(';') ? 1 : 0);
        }
    }
    return 0;
}

}  // namespace

QString CRoomChat::VisibleText(const QString& html) {
    QString out;
    const int n = static_cast<int>(html.size());
    for (int i = 0; i < n;) {
        const QChar c = html[i];
        if (c == QLatin1Char('<')) {
            const bool comment = html.mid(i, 4) == QLatin1String("<!--");
            const int end = comment ? html.indexOf(QLatin1String("-->"), i + 4)
                                    : html.indexOf(QLatin1Char('>'), i + 1);
            if (end >= 0) {
                i = end + (comment ? 3 : 1);
                continue;
            }
        } else if (c == QLatin1Char('&')) {
            QString decoded;
            if (const int taken = ReadReference(html, i, decoded); taken > 0) {
                out += decoded;
                i += taken;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

void CRoomChat::OnText(tagRoomRequest& r) {
    const tagRoomRecord& room = r.room->Record();
    CRoomMember& sender = *r.member;
    const QString target = r.packet.TextOr(TextKey::TARGET);
    const QString line = r.packet.TextOr(TextKey::LINE);
    const bool isPrivate = r.packet.IntOr(TextKey::PRIVATE, 0) != 0;
    // The line goes out as the code page's bytes; that is what the limit counts.
    if (line.isEmpty() || ToAnsi(line).size() > m_server.Config().limits.maxTextBytes) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    if (sender.typingForbidden) {
        r.Refuse(REFUSE_FORBIDDEN);
        return;
    }
    // The text alone (key 50) is the sender's word for what it wrote; the members see the line.
    if (!ForbiddenHit(VisibleText(line), room.forbiddenTexts).isEmpty()) {
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
