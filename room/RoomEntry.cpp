#include "room/RoomEntry.h"

#include "core/AppState.h"
#include "core/WindowMessages.h"
#include "platform/Clock.h"
#include "platform/LocalAddress.h"
#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/Refusal.h"
#include "protocol/keys/CenterKeys.h"
#include "protocol/keys/EntryKeys.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/ConnectDlg.h"
#include "room/EntryDialogs.h"
#include "room/Gifts.h"
#include "room/PrivateInvite.h"
#include "room/ResponseDlg.h"
#include "room/RoomStrings.h"
#include "room/RoomTrace.h"
#include "room/UserInfo.h"
#include "video/VideoProbe.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr unsigned kTopmostInfo = MB_ICONINFORMATION | MB_TOPMOST;

QString Waiting(int stringId) {
    return LoadString(stringId) + LoadString(IDS_WAIT_SUFFIX);
}
QString Failed(int stringId) {
    return LoadString(stringId) + LoadString(IDS_FAILURE_SUFFIX);
}

bool Edition50or70() {
    const int e = CAppState::Get().edition;
    return e == EDITION_50 || e == EDITION_70;
}

}  // namespace

CRoomEntry::CRoomEntry(IHallServices& hall) : m_hall(hall) {
    CreateMessageWindow(QStringLiteral("RoomEntry"));
    // The room login reports the machine's address; have it resolved well before then.
    StartLocalAddressLookup();
    for (CChatSocket* s : {&m_main, &m_second}) {
        s->SetOwner(this);
        s->SetRoomWindow(&m_room);
        s->SetPrivateRoomWindow(&m_private);
    }
    // The private room gives from the catalogue of the room it was left from, and plays its
    // gifts where the room does.
    m_private.SetGifts(&m_room.Gifts());
}

CRoomEntry::~CRoomEntry() {
    m_main.SetOwner(nullptr);
    m_second.SetOwner(nullptr);
    m_main.KClose();
    m_second.KClose();
    DestroyMessageWindow();
}

void CRoomEntry::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    m_hall.PostToHall(msg, wParam, lParam);
}

void CRoomEntry::SetBothTargets(int target) {
    m_main.SetTarget(target);
    m_second.SetTarget(target);
}

void CRoomEntry::CloseConnections() {
    m_main.KClose();
    m_second.KClose();
    SetBothTargets(CChatSocket::TARGET_ROOM);
    m_second.SetAttached(false);
}

void CRoomEntry::ShutMain() {
    m_main.KClose();
}

void CRoomEntry::Fail(const QString& text) {
    m_hall.SetHallStatus(QString());
    MessageBox(text, QStringLiteral("Warning"), kTopmostInfo);
}

void CRoomEntry::OnRoomMessage(unsigned wParam, long lParam) {
    switch (wParam) {
        case 0:
            CloseConnections();
            break;
        case 1:
            EnterRoom(static_cast<int>(lParam));
            break;
        case 2:
            EnterPrivateRoom(static_cast<int>(lParam));
            break;
        default:
            break;
    }
}

void CRoomEntry::EnterPrivateRoom(int peer) {
    // Only the private room the room was left for.
    if (peer == 0 || peer != m_room.Invite().PeerNumber() || m_private.IsWindow()) {
        CloseConnections();
        return;
    }
    const CAppState& app = CAppState::Get();
    const UserInfo* own = m_room.OwnRecord();
    const QString ownId = m_room.OwnId();
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_ENTER_PRIVATE);
    request.SetCString(EnterPrivateKey::OWN_ID, ownId);
    request.SetInt(EnterPrivateKey::FLAG, app.account.IsLoggedIn() ? 1 : 0);
    request.SetInt(EnterPrivateKey::PEER_NUMBER, peer);
    // The window is there before the answer: the peer's arrival may come right behind it.
    m_private.Open(ownId, own ? own->nickname : ownId, app.account.IsLoggedIn());
    CResponseDlg dialog(&m_main, CMD_ENTER_PRIVATE);
    dialog.SetRequest(request);
    if (dialog.DoModal() != IDOK) {
        m_private.Abandon();
        if (dialog.HasReply() || dialog.ErrorCode() != 0) {
            MessageBox(dialog.ErrorText(), QStringLiteral("Warning"), kTopmostInfo);
        }
        CloseConnections();
        return;
    }
    SetBothTargets(CChatSocket::TARGET_PRIVATE_ROOM);
    m_private.Entered(dialog.Reply());
}

void CRoomEntry::EnterRoom(int room) {
    if (m_room.IsWindow()) {
        if (room < 0) {
            return;
        }
        if (MessageBox(LoadString(IDS_ASK_SWITCH_ROOM), QStringLiteral("Warning"),
                       MB_YESNO | MB_TOPMOST) != IDYES) {
            return;
        }
        if (room != m_room.Entry().room) {
            m_nextRoom = room;
            m_room.Close(IDOK);
        } else {
            MessageBox(LoadString(IDS_ALREADY_IN_ROOM), QStringLiteral("Warning"), kTopmostInfo);
        }
        return;
    }
    if (m_private.IsWindow()) {
        if (room >= 0 && MessageBox(LoadString(IDS_ASK_LEAVE_PRIVATE), QStringLiteral("Warning"),
                                    MB_YESNO | MB_TOPMOST) == IDYES) {
            m_nextRoom = room;
            m_private.Close();
        }
        return;
    }
    CloseConnections();
    m_enteringRoom = room;
    m_awaitingAddress = true;
    m_hall.RequestRoomAddress(room);
}

void CRoomEntry::OnRoomAddress(CKParam& reply) {
    // The hall calls this from its connection's receive path; the entry runs modal dialogs,
    // so it continues from our own message.
    m_pendingAddress.SetBufferPtr(reply.GetBufferPtr(), reply.GetLength());
    PostMessage(WM_ROOM_ADDRESS);
}

void CRoomEntry::HandleRoomAddress() {
    // Only the entry that asked goes on with an address. One nobody asked for, above all while
    // a room is open, must not take the room's connection from it.
    if (!m_awaitingAddress || m_room.IsWindow()) {
        RoomTrace("room address nobody waits for dropped");
        return;
    }
    m_awaitingAddress = false;
    if (m_pendingAddress.IntOr(KEY_RESULT, 0) == -1) {
        Fail(RefusalText(m_pendingAddress.IntOr(KEY_REFUSAL, 0)));
        return;
    }
    m_host = m_pendingAddress.TextOr(RoomAddressReplyKey::HOST);
    const int port = m_pendingAddress.IntOr(RoomAddressReplyKey::PORT, 0);
    const int room = m_pendingAddress.IntOr(RoomAddressReplyKey::ROOM, m_enteringRoom);
    m_hall.SetHallStatus(Waiting(IDS_CONNECT_SERVER));
    if (ConnectMain(m_host, port) != 0) {
        return;
    }
    RoomLogin(room);
}

int CRoomEntry::ConnectMain(const QString& host, int port) {
    m_main.KClose();
    if (m_main.KCreate() != 0) {
        Fail(LoadString(IDS_OPEN_PORT_FAILED));
        return -1;
    }
    CConnectDlg connect(&m_main, host, port);
    if (connect.DoModal() != IDOK) {
        ShutMain();
        Fail(Failed(IDS_CONNECT_SERVER));
        return -1;
    }
    return 0;
}

void CRoomEntry::RoomLogin(int room) {
    const CAppState& app = CAppState::Get();
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_ROOM_LOGIN);
    request.SetCString(RoomLoginKey::NAME, app.account.Name());
    request.SetInt(RoomLoginKey::NUMBER, app.account.userNumber);
    request.SetInt(RoomLoginKey::ROOM, room);
    request.SetBoolean(RoomLoginKey::H264_ENCODER, ProbeH264Encoder());
    request.SetBoolean(RoomLoginKey::H264_DECODER, ProbeH264Decoder());
    request.SetCString(RoomLoginKey::ADDRESS, LocalAddress());
    request.SetCString(ConfigKey::HOST, app.settings.fip);
    request.SetInt(ConfigKey::PORT, app.settings.fport);
    request.SetCString(RoomLoginKey::ADAPTER, app.account.adapterAddress);
    request.SetInt(RoomLoginKey::NUMBER_90, 100);

    m_hall.SetHallStatus(Waiting(IDS_OP_ROOM_LOGIN));
    CResponseDlg dialog(&m_main, CMD_ROOM_LOGIN);
    dialog.SetRequest(request);
    if (dialog.DoModal() == IDOK) {
        m_hall.SetHallStatus(Waiting(IDS_VERIFY_USER));
        m_enteringRoom = room;
        m_hall.StartVerifyTimer(true);
        return;
    }
    m_hall.SetHallStatus(QString());
    if (dialog.ErrorCode() == REFUSE_ROOM_DISABLED) {
        const CKParam& reply = dialog.Reply();
        const int until = reply.IntOr(RoomLoginReplyKey::DISABLED_UNTIL, 0);
        QString text;
        if (until < 1) {
            text = RefusalText(REFUSE_ROOM_DISABLED);
        } else {
            const QString end = QDateTime::fromSecsSinceEpoch(until).toString(
                QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            text =
                QStringLiteral("%1:%2,%3%4:%5,%6:%7")
                    .arg(LoadString(IDS_ROOM_DISABLED_REASON),
                         reply.TextOr(RoomLoginReplyKey::DISABLED_WHY), LoadString(IDS_RESPONSIBLE),
                         app.settings.sysIdName, reply.TextOr(RoomLoginReplyKey::DISABLED_BY),
                         LoadString(IDS_BAN_ENDS), end);
        }
        MessageBox(text, QStringLiteral("Warning"), kTopmostInfo);
    } else if (dialog.HasReply()) {
        // A refusal; one without a reason still says so ("未知错误").
        MessageBox(dialog.ErrorText(), QStringLiteral("Warning"), kTopmostInfo);
    }
    ShutMain();
}

void CRoomEntry::OnUserVerified(CKParam& packet) {
    m_pendingVerified.SetBufferPtr(packet.GetBufferPtr(), packet.GetLength());
    PostMessage(WM_USER_VERIFIED);
}

void CRoomEntry::HandleUserVerified() {
    m_hall.StartVerifyTimer(false);
    const CKParam& p = m_pendingVerified;
    if (p.IntOr(KEY_RESULT, 0) == -1) {
        m_hall.SetHallStatus(QString());
        MessageBox(RefusalText(p.IntOr(KEY_REFUSAL, 0)), QStringLiteral("Warning"), kTopmostInfo);
        // The room will not have us: its connection goes too, as with every refusal before
        // the window exists.
        ShutMain();
        return;
    }
    const int edition = CAppState::Get().edition;
    if (edition == EDITION_10 || edition == EDITION_50 || edition == EDITION_70) {
        if (p.IntOr(UserVerifiedKey::FAULT, 0) != 0) {
            m_hall.SetHallStatus(QString());
            m_hall.ShowHall(false);
            MessageBox(LoadString(IDS_SYSTEM_FAULT), QStringLiteral("Warning"), kTopmostInfo);
            ShutMain();
            return;
        }
        m_key23 = p.IntOr(UserVerifiedKey::NUMBER_23, 0);
    }
    m_password.clear();
    RunEnterRequest(false, QString());
}

void CRoomEntry::OnVerifyTimeout() {
    m_hall.SetHallStatus(QString());
}

void CRoomEntry::OnRetryEntry(bool pay) {
    RunEnterRequest(pay, m_password);
}

void CRoomEntry::RunEnterRequest(bool pay, const QString& password) {
    const CAppState& app = CAppState::Get();
    CKParam request;
    request.SetShortInt(KEY_COMMAND, CMD_ENTER);
    request.SetBoolean(EnterKey::PAY, pay);
    request.SetCString(EnterKey::PASSWORD, password);
    if (Edition50or70()) {
        const auto& rooms = app.userRooms;
        const int room = m_enteringRoom;
        const bool own =
            std::find(rooms.first.begin(), rooms.first.end(), room) != rooms.first.end();
        const auto mark = rooms.marks.find(room);
        const bool marked =
            std::find(rooms.second.begin(), rooms.second.end(), room) != rooms.second.end() &&
            mark != rooms.marks.end() && mark->second == 1;
        request.SetInt(EnterKey::OWN_ROOM, own || marked ? 1 : 0);
    }
    request.SetCString(ConfigKey::HOST, app.settings.fip);
    request.SetInt(ConfigKey::PORT, app.settings.fport);

    m_hall.SetHallStatus(Waiting(IDS_OP_ENTER));
    CResponseDlg dialog(&m_main, CMD_ENTER);
    dialog.SetRequest(request);
    const int result = dialog.DoModal();
    m_hall.SetHallStatus(QString());
    if (result == IDOK) {
        Entered(dialog.Reply());
    } else {
        EntryRefused(dialog);
    }
}

void CRoomEntry::Entered(const CKParam& reply) {
    tagEntryData entry;
    entry.room = m_enteringRoom;
    entry.keyA = reply.IntOr(EnterReplyKey::KEY_A, 0);
    entry.keyB = reply.IntOr(EnterReplyKey::KEY_B, 0);
    entry.secondPort = reply.IntOr(EnterReplyKey::SECOND_PORT, 0);
    entry.entryText = reply.TextOr(EnterReplyKey::ENTRY_TEXT);
    entry.text70 = reply.TextOr(EnterReplyKey::SERVER_NAME);
    entry.number90 = reply.IntOr(EnterReplyKey::SERVER_VERSION, 0);
    entry.room = reply.IntOr(EnterReplyKey::ROOM, entry.room);
    entry.host = m_host;
    m_secondPort = entry.secondPort;
    SetBothTargets(CChatSocket::TARGET_ROOM);
    m_room.Open(entry);
    if (ConnectSecond() != 0) {
        MessageBox(Failed(IDS_CONNECT_SERVER), QStringLiteral("Warning"), kTopmostInfo);
        ShutMain();
        m_room.Close(IDCANCEL);
        return;
    }
    m_nextRoom = 0;
    if (Edition50or70()) {
        entry.entryTime = CClock::Get().Now();
        m_room.SetEntryTime(entry.entryTime);
    }
    m_room.Show();
}

void CRoomEntry::EntryRefused(const CResponseDlg& dialog) {
    const CKParam& reply = dialog.Reply();
    const QString warning = QStringLiteral("Warning");
    bool retried = false;
    switch (dialog.ErrorCode()) {
        case REFUSE_WRONG_ROOM_PASSWORD:
            MessageBox(RefusalText(REFUSE_WRONG_ROOM_PASSWORD), warning, kTopmostInfo);
            [[fallthrough]];
        case REFUSE_PASSWORD_NEEDED: {
            CUnlockRoomDlg unlock;
            if (unlock.DoModal() == IDOK) {
                m_password = unlock.Password();
                PostToHall(WM_HALL_RETRY_ENTRY, 0, 0);
                retried = true;
            }
            break;
        }
        case REFUSE_REGISTERED_PAY:
            if (MessageBox(LoadString(IDS_ASK_LOGIN_TO_PAY), warning, MB_YESNO | MB_TOPMOST) ==
                IDYES) {
                m_hall.OpenLogin();
            }
            break;
        case REFUSE_BALANCE:
            MessageBox(LoadString(IDS_NOT_ENOUGH)
                           .replace(QStringLiteral("%s"), CAppState::Get().settings.moneyName),
                       warning, kTopmostInfo);
            break;
        case REFUSE_PAY_TO_ENTER: {
            CPaymentDlg pay(reply.IntOr(EnterReplyKey::PAY_80, 0),
                            reply.IntOr(EnterReplyKey::PAY_100, 0),
                            reply.TextOr(EnterReplyKey::PAY_110));
            if (pay.DoModal() == IDOK) {
                PostToHall(WM_HALL_RETRY_ENTRY, 1, 0);
                retried = true;
            }
            break;
        }
        case 0:
            MessageBox(LoadString(IDS_USER_CANCELLED), warning, kTopmostInfo);
            break;
        default:
            MessageBox(dialog.ErrorText(), warning, kTopmostInfo);
            break;
    }
    if (!retried) {
        ShutMain();
    }
}

int CRoomEntry::ConnectSecond() {
    m_second.KClose();
    m_second.SetAttached(false);
    if (m_second.KCreate() != 0) {
        return -1;
    }
    {
        CConnectDlg connect(&m_second, m_host, m_secondPort);
        if (connect.DoModal() != IDOK) {
            m_second.KClose();
            return -1;
        }
    }
    CKParam attach;
    attach.SetShortInt(KEY_COMMAND, CMD_ATTACH);
    attach.SetInt(AttachKey::KEY_A, m_room.Entry().keyA);
    attach.SetCString(AttachKey::OWN_ID, m_room.OwnId());
    attach.SetInt(AttachKey::KEY_B, m_room.Entry().keyB);
    return m_second.SendPacket(attach) == 0 ? 0 : -1;
}

void CRoomEntry::OnChatSocketClosed(CChatSocket& socket, bool wasAttached) {
    if (socket.Role() == CChatSocket::ROLE_SECOND) {
        if (wasAttached && m_room.IsWindow() && m_main.IsRoomConnected()) {
            PostMessage(WM_REATTACH);
        }
        return;
    }
    if (socket.Target() == CChatSocket::TARGET_ROOM && m_room.IsWindow()) {
        m_room.OnConnectionLost();
        const QString reason =
            socket.CloseReason().isEmpty() ? LoadString(IDS_CONNECTION_LOST) : socket.CloseReason();
        MessageBox(QStringLiteral("%1,%2").arg(reason, LoadString(IDS_CLICK_OK_TO_LEAVE)),
                   QStringLiteral("Warning"), kTopmostInfo);
        m_room.Close(IDCANCEL);
        socket.SetCloseReason(QString());
    } else if (socket.Target() == CChatSocket::TARGET_PRIVATE_ROOM && m_private.IsActive()) {
        m_private.SetActive(false);
        const QString reason =
            socket.CloseReason().isEmpty() ? LoadString(IDS_CONNECTION_LOST) : socket.CloseReason();
        MessageBox(QStringLiteral("%1,%2").arg(reason, LoadString(IDS_CLICK_OK_TO_LEAVE)),
                   QStringLiteral("Warning"), kTopmostInfo);
        m_private.Close();
        socket.SetCloseReason(QString());
    }
}

intptr_t CRoomEntry::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case WM_ROOM_ADDRESS:
            HandleRoomAddress();
            break;
        case WM_USER_VERIFIED:
            HandleUserVerified();
            break;
        case WM_REATTACH:
            // Only while the stay it belongs to goes on.
            if (m_room.IsWindow() && m_main.IsRoomConnected() && !m_second.IsConnect()) {
                ConnectSecond();
            }
            break;
        default:
            break;
    }
    return 0;
}
