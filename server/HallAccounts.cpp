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

void CHallService::RegisterAccountRequests() {
    m_requests.On(CMD_VERSION, EHallGate::Anyone, this, &CHallService::OnVersion);
    m_requests.On(CMD_VISITOR, EHallGate::Anyone, this, &CHallService::OnVisitor);
    m_requests.On(CMD_PRESENCE, EHallGate::Anyone, this, &CHallService::OnPresence);
    m_requests.On(CMD_LOGIN, EHallGate::Anyone, this, &CHallService::OnLogin);
    m_requests.On(CMD_LOGOUT, EHallGate::Anyone, this, &CHallService::OnLogout);
    m_requests.On(CMD_QUIT, EHallGate::Anyone, this, &CHallService::OnQuit);
    // The client acknowledges "logged in elsewhere"; the session was already taken over.
    m_requests.On(CMD_LOGGED_ELSEWHERE_ACK, EHallGate::Anyone, [](tagHallRequest&) {});
    m_requests.On(CMD_USER_INFO, EHallGate::Account, this, &CHallService::OnUserInfo);
    m_requests.On(CMD_ENTRY_INFO, EHallGate::Account, this, &CHallService::OnEntryInfo);
}

void CHallService::OnVersion(tagHallRequest& r) {
    CKParam reply = r.Reply();
    reply.SetInt(VersionReplyKey::NEWEST, m_config.lastVersion);
    r.peer.Send(reply);
}

void CHallService::OnVisitor(tagHallRequest& r) {
    if (m_presence.ShuttingDown()) {
        r.peer.Send(MakePacket(CMD_SERVER_QUIT));
        return;
    }
    // Every request makes a visitor until its presence lapses: bounded, or a loop of
    // requests would fill the memory.
    const tagServerLimits& limits = m_config.limits;
    if (m_presence.VisitorCount() >= limits.maxVisitors ||
        (limits.maxVisitorsPerAddress > 0 &&
         m_presence.VisitorsFrom(r.peer.PeerAddress()) >= limits.maxVisitorsPerAddress)) {
        r.Refuse(REFUSE_SERVER_FULL);
        return;
    }
    const tagVisitor v =
        m_presence.AddVisitor(CleanNickname(r.packet.TextOr(VisitorKey::NICKNAME)),
                              r.packet.TextOr(IdentityKey::ADAPTER), Now(), r.peer.PeerAddress());
    CKParam reply = r.Reply();
    reply.SetCString(VisitorReplyKey::NAME, v.name);
    reply.SetInt(VisitorReplyKey::NUMBER, v.userNumber);
    reply.SetInt(VisitorReplyKey::VALUE, 0);
    r.peer.Send(reply);
}

void CHallService::OnPresence(tagHallRequest& r) {
    const QString name = r.packet.TextOr(AccountKey::NAME);
    const tagPush push = m_presence.Touch(name, r.packet.IntOr(AccountKey::NUMBER, -1),
                                          r.packet.TextOr(IdentityKey::ADAPTER), Now());
    switch (push.kind) {
        case EPush::Quit:
            r.peer.Send(MakePacket(CMD_SERVER_QUIT));
            return;
        case EPush::LoggedElsewhere: {
            CKParam packet = MakePacket(CMD_LOGGED_ELSEWHERE);
            packet.SetCString(LoggedElsewhereKey::NAME, name);
            r.peer.Send(packet);
            return;
        }
        case EPush::GoToRoom:
            r.peer.Send(RoomPush(push.room));
            return;
        case EPush::None:
            break;
    }
    r.Answer();
}

CKParam CHallService::RoomPush(int number) {
    auto room = m_store.Room(number);
    QString host;
    unsigned port = 0;
    if (!room || !m_rooms.RoomAddress(number, host, port)) {
        return MakeRefusal(CMD_ROOM_ADDRESS_PUSH, m_store.MissingRefusal(REFUSE_BAD_ROOM));
    }
    CKParam packet = MakeReply(CMD_ROOM_ADDRESS_PUSH);
    packet.SetInt(RoomAddressPushKey::ROOM, number);
    packet.SetCString(RoomAddressPushKey::ADDRESS, QStringLiteral("%1:%2").arg(host).arg(port));
    packet.SetCString(RoomAddressPushKey::LINE, room->isp);
    return packet;
}

void CHallService::OnLogin(tagHallRequest& r) {
    int length = 0;
    char* block = nullptr;
    unsigned short blockLength = 0;
    if (r.packet.GetInt(LoginKey::LENGTH, length) != 0 ||
        r.packet.GetCharNC(LoginKey::CREDENTIALS, &block, blockLength) != 0 || length < 0) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    const QByteArray plain = DecipherCredentials(QByteArray(block, blockLength));
    if (plain.isEmpty()) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    // The length counts characters; the filling zero bytes go either way.
    QString text = FromAnsi(plain).left(length);
    while (text.endsWith(QChar(0))) {
        text.chop(1);
    }
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() < 3 || parts.front().isEmpty()) {
        r.Refuse(REFUSE_BAD_PARAMETER);
        return;
    }
    // The visitor name never holds a blank; a password may.
    tagLoginAttempt attempt;
    attempt.user = parts.front();
    attempt.password = parts.mid(1, parts.size() - 2).join(QLatin1Char(' '));
    attempt.account = m_store.FindAccount(attempt.user);
    if (!attempt.account && m_store.Lost()) {
        // Not a wrong password: nothing counts against the account or the address.
        r.Refuse(m_store.MissingRefusal(REFUSE_BAD_USER));
        return;
    }
    attempt.address = r.peer.PeerAddress();
    attempt.machine = r.packet.TextOr(IdentityKey::ADAPTER);
    switch (m_logins.Submit(r.peer, std::move(attempt))) {
        case CLoginGate::EAdmit::Queued:
            // Answered by OnLoginChecked once the password has had its turn and its check.
            return;
        case CLoginGate::EAdmit::TooManyFailures:
            r.Refuse(REFUSE_FORBIDDEN);
            return;
        case CLoginGate::EAdmit::Busy:
            r.Refuse(REFUSE_SERVER_FULL);
            return;
    }
}

void CHallService::OnLoginChecked(IServerPeer& peer, const tagLoginAttempt& attempt, bool right) {
    if (!right) {
        peer.Send(MakeRefusal(CMD_LOGIN_REPLY, REFUSE_BAD_PASSWORD));
        return;
    }
    const tagAccount& account = *attempt.account;
    const std::optional<QString> current = m_presence.LoggedInFrom(account.name);
    // Someone inside a room under this account, at this hall or another, keeps it; anyone
    // else is taken over.
    if (current && *current != attempt.machine && m_presence.RoomOf(account.name) != 0) {
        peer.Send(MakeRefusal(CMD_LOGIN_REPLY, REFUSE_ALREADY_LOGGED_IN));
        return;
    }
    const tagSession& session =
        m_presence.Login({account.name, account.number, account.nickname, attempt.machine, Now()});
    m_store.RecordLogin(account.number, Now());
    CKParam reply = MakeReply(CMD_LOGIN_REPLY);
    // The user number is the login's own secret, never the account's public number.
    reply.SetInt(LoginReplyKey::NUMBER, session.userNumber);
    reply.SetCString(LoginReplyKey::NAME, account.name);
    peer.Send(reply);
}

void CHallService::OnLogout(tagHallRequest& r) {
    const QString name = r.packet.TextOr(AccountKey::NAME);
    const QString machine = r.packet.TextOr(IdentityKey::ADAPTER);
    const int userNumber = r.packet.IntOr(AccountKey::NUMBER, -1);
    if (m_presence.IsLoggedIn(name, userNumber, machine)) {
        m_presence.Logout(name);
    }
    // Logging out always leaves a visitor, also when the hall had already forgotten the login.
    // The reply names the visitor but gives no number: the client goes on with the one it has.
    const tagVisitor v =
        m_presence.AddVisitor(CleanNickname(r.packet.TextOr(LogoutKey::VISITOR_NICKNAME)), machine,
                              Now(), r.peer.PeerAddress(), userNumber);
    CKParam reply = r.Reply();
    reply.SetCString(LogoutReplyKey::VISITOR_NAME, v.name);
    r.peer.Send(reply);
}

void CHallService::OnQuit(tagHallRequest& r) {
    const QString name = r.packet.TextOr(AccountKey::NAME);
    const QString machine = r.packet.TextOr(IdentityKey::ADAPTER);
    const int userNumber = r.packet.IntOr(AccountKey::NUMBER, -1);
    if (m_presence.IsLoggedIn(name, userNumber, machine)) {
        m_presence.Logout(name);
    } else if (m_presence.IsVisitor(name, userNumber, machine)) {
        m_presence.RemoveVisitor(name);
    }
}

void CHallService::OnUserInfo(tagHallRequest& r) {
    const tagAccount& account = *r.account;
    CKParam reply = r.Reply();
    using namespace UserInfoReplyKey;
    reply.SetCString(NAME, account.name);
    reply.SetCString(NICKNAME, account.nickname);
    reply.SetCString(SIGNATURE, account.signature);
    reply.SetInt(NUMBER, account.number);
    reply.SetCString(CREATED, FormatTime(account.createdAt, "yyyy-MM-dd"));
    reply.SetCString(LAST_LOGIN, FormatTime(account.lastLogin, "yyyy-MM-dd hh:mm:ss"));
    reply.SetCString(OWN_ROOMS, QString::number(m_store.RoomsOwnedBy(account.number).size()));
    reply.SetInt(MONEY, account.money);
    reply.SetInt(LEVEL, account.level);
    reply.SetInt(LOGIN_COUNT, account.loginCount);
    r.peer.Send(reply);
}

void CHallService::OnEntryInfo(tagHallRequest& r) {
    if (!m_store.SetEntryInfo(r.account->number, r.packet.IntOr(EntryInfoKey::EFFECT, 0),
                              r.packet.IntOr(EntryInfoKey::VIP, 0))) {
        r.Refuse(REFUSE_SERVER_ERROR);
        return;
    }
    r.Answer();
}
