// Presence, login and logout, and the account's own information.

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "protocol/Commands.h"
#include "protocol/LoginCipher.h"
#include "protocol/Refusal.h"
#include "protocol/keys/CenterKeys.h"
#include "server/HallService.h"
#include "server/Packets.h"

#include <QDateTime>
#include <QStringList>

namespace {

// The hall keeps a visitor's nickname as the client does: 32 characters at most, no angle
// brackets, and nothing that would split a member text.
QString CleanNickname(const QString& nickname) {
    QString out = CommaFree(nickname.left(32));
    out.replace(QLatin1Char('<'), QChar(0xFF1C));
    out.replace(QLatin1Char('>'), QChar(0xFF1E));
    return out;
}

QString FormatTime(int64_t seconds, const char* format) {
    if (seconds <= 0) {
        return QString();
    }
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QString::fromLatin1(format));
}

}  // namespace

std::optional<CKParam> CHallService::OnVisitor(const CKParam& request) {
    if (m_presence.ShuttingDown()) {
        return MakePacket(CMD_SERVER_QUIT);
    }
    // Every request makes a visitor until its presence lapses: bounded, or a loop of
    // requests would fill the memory.
    const tagServerLimits& limits = m_config.limits;
    if (m_presence.VisitorCount() >= limits.maxVisitors ||
        (limits.maxVisitorsPerAddress > 0 &&
         m_presence.VisitorsFrom(m_peerAddress) >= limits.maxVisitorsPerAddress)) {
        return MakeRefusal(CMD_VISITOR_REPLY, REFUSE_SERVER_FULL);
    }
    const tagVisitor v =
        m_presence.AddVisitor(CleanNickname(request.TextOr(VisitorKey::NICKNAME)),
                              request.TextOr(IdentityKey::ADAPTER), Now(), m_peerAddress);
    CKParam reply = MakeReply(CMD_VISITOR_REPLY);
    reply.SetCString(VisitorReplyKey::NAME, v.name);
    reply.SetInt(VisitorReplyKey::NUMBER, v.number);
    reply.SetInt(VisitorReplyKey::VALUE, 0);
    return reply;
}

std::optional<CKParam> CHallService::OnPresence(const CKParam& request) {
    const QString name = request.TextOr(AccountKey::NAME);
    const tagPush push = m_presence.Touch(name, request.TextOr(IdentityKey::ADAPTER), Now());
    switch (push.kind) {
        case EPush::Quit:
            return MakePacket(CMD_SERVER_QUIT);
        case EPush::LoggedElsewhere: {
            CKParam packet = MakePacket(CMD_LOGGED_ELSEWHERE);
            packet.SetCString(LoggedElsewhereKey::NAME, name);
            return packet;
        }
        case EPush::GoToRoom: {
            auto room = m_store.Room(push.room);
            QString host;
            unsigned port = 0;
            if (!room || !m_rooms.RoomAddress(push.room, host, port)) {
                return MakeRefusal(CMD_ROOM_ADDRESS_PUSH, REFUSE_BAD_ROOM);
            }
            CKParam packet = MakeReply(CMD_ROOM_ADDRESS_PUSH);
            packet.SetInt(RoomAddressPushKey::ROOM, push.room);
            packet.SetCString(RoomAddressPushKey::ADDRESS,
                              QStringLiteral("%1:%2").arg(host).arg(port));
            packet.SetCString(RoomAddressPushKey::LINE, room->isp);
            return packet;
        }
        case EPush::None:
            break;
    }
    return MakeReply(CMD_PRESENCE_REPLY);
}

std::optional<CKParam> CHallService::OnLogin(const CKParam& request) {
    int length = 0;
    char* block = nullptr;
    unsigned short blockLength = 0;
    if (request.GetInt(LoginKey::LENGTH, length) != 0 ||
        request.GetCharNC(LoginKey::CREDENTIALS, &block, blockLength) != 0 || length < 0) {
        return MakeRefusal(CMD_LOGIN_REPLY, REFUSE_BAD_PARAMETER);
    }
    const QByteArray plain = DecipherCredentials(QByteArray(block, blockLength));
    if (plain.isEmpty()) {
        return MakeRefusal(CMD_LOGIN_REPLY, REFUSE_BAD_PARAMETER);
    }
    // The length counts characters; the filling zero bytes go either way.
    QString text = FromAnsi(plain).left(length);
    while (text.endsWith(QChar(0))) {
        text.chop(1);
    }
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() < 3 || parts.front().isEmpty()) {
        return MakeRefusal(CMD_LOGIN_REPLY, REFUSE_BAD_PARAMETER);
    }
    // The visitor name never holds a blank; a password may.
    const QString& user = parts.front();
    const QString password = parts.mid(1, parts.size() - 2).join(QLatin1Char(' '));
    auto account = m_store.FindAccount(user);
    if (!account || account->digest.compare(PasswordDigest(password), Qt::CaseInsensitive) != 0) {
        return MakeRefusal(CMD_LOGIN_REPLY, REFUSE_BAD_PASSWORD);
    }
    const QString machine = request.TextOr(IdentityKey::ADAPTER);
    const tagSession* current = m_presence.Session(account->name);
    // Someone inside a room under this account keeps it; anyone else is taken over.
    if (current && current->machine != machine && m_presence.RoomOf(account->name) != 0) {
        return MakeRefusal(CMD_LOGIN_REPLY, REFUSE_ALREADY_LOGGED_IN);
    }
    m_presence.Login({account->name, account->number, account->nickname, machine, Now()});
    m_store.RecordLogin(account->number, Now());
    CKParam reply = MakeReply(CMD_LOGIN_REPLY);
    reply.SetInt(LoginReplyKey::NUMBER, account->number);
    reply.SetCString(LoginReplyKey::NAME, account->name);
    return reply;
}

std::optional<CKParam> CHallService::OnLogout(const CKParam& request) {
    const QString name = request.TextOr(AccountKey::NAME);
    const QString machine = request.TextOr(IdentityKey::ADAPTER);
    if (m_presence.IsLoggedIn(name, request.IntOr(AccountKey::NUMBER, -1), machine)) {
        m_presence.Logout(name);
    }
    // Logging out always leaves a visitor, also when the hall had already forgotten the login.
    const tagVisitor v = m_presence.AddVisitor(
        CleanNickname(request.TextOr(LogoutKey::VISITOR_NICKNAME)), machine, Now(), m_peerAddress);
    CKParam reply = MakeReply(CMD_LOGOUT_REPLY);
    reply.SetCString(LogoutReplyKey::VISITOR_NAME, v.name);
    return reply;
}

std::optional<CKParam> CHallService::OnQuit(const CKParam& request) {
    const QString name = request.TextOr(AccountKey::NAME);
    const QString machine = request.TextOr(IdentityKey::ADAPTER);
    if (m_presence.IsLoggedIn(name, request.IntOr(AccountKey::NUMBER, -1), machine)) {
        m_presence.Logout(name);
    } else if (const tagVisitor* v = m_presence.Visitor(name); v && v->machine == machine) {
        m_presence.RemoveVisitor(name);
    }
    return std::nullopt;
}

std::optional<CKParam> CHallService::OnUserInfo(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_USER_INFO_REPLY, REFUSE_BAD_USER);
    }
    CKParam reply = MakeReply(CMD_USER_INFO_REPLY);
    using namespace UserInfoReplyKey;
    reply.SetCString(NAME, account->name);
    reply.SetCString(NICKNAME, account->nickname);
    reply.SetCString(SIGNATURE, account->signature);
    reply.SetInt(NUMBER, account->number);
    reply.SetCString(CREATED, FormatTime(account->createdAt, "yyyy-MM-dd"));
    reply.SetCString(LAST_LOGIN, FormatTime(account->lastLogin, "yyyy-MM-dd hh:mm:ss"));
    reply.SetCString(OWN_ROOMS, QString::number(m_store.RoomsOwnedBy(account->number).size()));
    reply.SetInt(MONEY, account->money);
    reply.SetInt(LEVEL, account->level);
    reply.SetInt(LOGIN_COUNT, account->loginCount);
    return reply;
}

std::optional<CKParam> CHallService::OnEntryInfo(const CKParam& request) {
    auto account = LoggedInAccount(request);
    if (!account) {
        return MakeRefusal(CMD_ENTRY_INFO_REPLY, REFUSE_BAD_USER);
    }
    if (!m_store.SetEntryInfo(account->number, request.IntOr(EntryInfoKey::EFFECT, 0),
                              request.IntOr(EntryInfoKey::VIP, 0))) {
        return MakeRefusal(CMD_ENTRY_INFO_REPLY, REFUSE_SERVER_ERROR);
    }
    return MakeReply(CMD_ENTRY_INFO_REPLY);
}
