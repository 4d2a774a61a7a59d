#include "tests/room/RoomTestSupport.h"

#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "room/ResponseDlg.h"

#include <QStringList>

namespace tavotest {

CRecordingHall::CRecordingHall() {
    CreateMessageWindow(QStringLiteral("Hall"));
}

CRecordingHall::~CRecordingHall() {
    DestroyMessageWindow();
}

void CRecordingHall::RequestRoomAddress(int room) {
    addressRequests.push_back(room);
    // The hall server's answer, as the hall's reply handler passes it on.
    CKParam reply;
    reply.SetShortInt(KEY_COMMAND, CMD_ROOM_ADDRESS_REPLY);
    reply.SetInt(KEY_RESULT, 0);
    reply.SetInt(30, room);
    reply.SetInt(70, static_cast<int>(mainPort));
    reply.SetCString(80, QStringLiteral("127.0.0.1"));
    entry->OnRoomAddress(reply);
}

void CRecordingHall::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    posted.push_back({msg, wParam, lParam});
    PostMessage(msg, wParam, lParam);
}

intptr_t CRecordingHall::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (!forward || !entry) {
        return 0;
    }
    if (msg == 1357) {
        entry->OnRoomMessage(static_cast<unsigned>(wParam), static_cast<long>(lParam));
    } else if (msg == 1034) {
        entry->OnRetryEntry(wParam != 0);
    }
    return 0;
}

QString MemberText(const QString& id, const QString& nick, int rank, bool registered, bool flagB,
                   bool hidden) {
    QStringList f;
    f << id << nick << QString::number(registered ? 1 : 0) << QString::number(rank)
      << QString::number(flagB ? 1 : 0) << QStringLiteral("0") << QStringLiteral("text7")
      << QStringLiteral("") << QStringLiteral("text9") << QStringLiteral("0") << QStringLiteral("0")
      << QStringLiteral("0") << QStringLiteral("0") << QString::number(hidden ? 1 : 0);
    while (f.size() < 23) {
        f << QStringLiteral("0");
    }
    return f.join(QLatin1Char(','));
}

namespace {

void Reply(CLoopbackPeer& peer, short code, const std::function<void(CKParam&)>& build) {
    CKParam p;
    p.SetShortInt(KEY_COMMAND, code);
    build(p);
    peer.KSend(p);
}

}  // namespace

CScriptedRoomServer::CScriptedRoomServer() {
    main.SetResponder([this](CLoopbackPeer& peer, CKParam& in) {
        switch (in.Command()) {
            case CMD_ROOM_LOGIN:
                Reply(peer, CMD_ROOM_LOGIN_REPLY, [&](CKParam& p) {
                    p.SetInt(KEY_RESULT, refuse123 || refuse123WithoutCode ? -1 : 0);
                    if (refuse123) {
                        p.SetInt(KEY_REFUSAL, refuse123);
                    }
                    if (extra123) {
                        extra123(p);
                    }
                });
                if (!refuse123 && !refuse123WithoutCode && send120) {
                    Reply(peer, CMD_USER_VERIFIED, [](CKParam& p) { p.SetInt(KEY_RESULT, 0); });
                }
                break;
            case CMD_ENTER: {
                if (!answer110) {
                    break;
                }
                const int code = refuse111.empty() ? 0 : refuse111.front();
                if (!refuse111.empty()) {
                    refuse111.erase(refuse111.begin());
                }
                Reply(peer, CMD_ENTER_REPLY, [&](CKParam& p) {
                    if (code) {
                        p.SetInt(KEY_RESULT, -1);
                        p.SetInt(KEY_REFUSAL, code);
                        if (extra111) {
                            extra111(p);
                        }
                        return;
                    }
                    p.SetInt(KEY_RESULT, 0);
                    p.SetInt(30, keyA);
                    p.SetInt(40, keyB);
                    p.SetInt(50, static_cast<int>(second.Port()));
                    p.SetCString(60, entryText);
                    p.SetInt(200, room);
                });
                break;
            }
            case CMD_MEMBER_LIST:
                Reply(peer, CMD_MEMBER_LIST_REPLY, [&](CKParam& p) {
                    p.SetInt(KEY_RESULT, 0);
                    p.SetInt(30, static_cast<int>(members.size()));
                    for (int i = 0; i < members.size(); ++i) {
                        p.SetCString(static_cast<short>(31 + i), members[i]);
                    }
                });
                break;
            case CMD_ROOM_SETTINGS:
                Reply(peer, CMD_ROOM_SETTINGS_REPLY, [&](CKParam& p) {
                    // Readers take the first of a key: a test's own values come first.
                    if (settings) {
                        settings(p);
                    }
                    p.SetInt(KEY_RESULT, 0);
                    p.SetCString(30, QStringLiteral("测试房间"));
                    p.SetInt(110, 120);
                });
                break;
            case CMD_TEXT:
                if (answerText) {
                    Reply(peer, CMD_TEXT_REPLY, [](CKParam& p) { p.SetInt(KEY_RESULT, 0); });
                }
                break;
            default:
                break;
        }
    });
    second.SetResponder([](CLoopbackPeer& peer, CKParam& in) {
        if (in.Command() == CMD_ATTACH) {
            Reply(peer, CMD_ATTACH_REPLY, [](CKParam& p) { p.SetInt(KEY_RESULT, 0); });
        }
    });
}

bool CScriptedRoomServer::Start() {
    return main.Start() && second.Start();
}

CLoopbackPeer* CScriptedRoomServer::MainPeer() {
    return main.PeerCount() ? &main.LastPeer() : nullptr;
}

CLoopbackPeer* CScriptedRoomServer::SecondPeer() {
    return second.PeerCount() ? &second.LastPeer() : nullptr;
}

void CScriptedRoomServer::SendMain(const std::function<void(CKParam&)>& build) {
    CKParam p;
    build(p);
    MainPeer()->KSend(p);
}

CRoomFixture::CRoomFixture() {
    app.edition = EDITION_20;
    app.account.loginName = QStringLiteral("me");
    app.account.userNumber = 4321;
    app.account.adapterAddress = QStringLiteral("00-11-22-33-44-55");
    app.settings.fip = QStringLiteral("10.0.0.9");
    app.settings.fport = 7001;
    app.programFolder = QStringLiteral("/opt/tavo");
    CAppState::Set(&app);
    server.Start();
    hall.mainPort = server.MainPort();
    entry = std::make_unique<CRoomEntry>(hall);
    hall.entry = entry.get();
    entry->Room().SetViews(&roomView, &publicView, &privateView);
    entry->Room().SetVoiceSender(&voice);
    server.members << MemberText(QStringLiteral("me"), QStringLiteral("我"), 20)
                   << MemberText(QStringLiteral("amy"), QStringLiteral("艾米"), 20);
}

CRoomFixture::~CRoomFixture() {
    hall.entry = nullptr;
    entry.reset();
    CAppState::Set(nullptr);
}

bool CRoomFixture::Enter(int room) {
    server.room = room;
    entry->OnRoomMessage(1, room);
    // Fetched when the settings have arrived: the room name is drawn.
    return WaitUntil([&] { return Room().IsShown() && !roomView.micMode.isEmpty(); });
}

void CRoomFixture::Deliver(const std::function<void(CKParam&)>& build) {
    CKParam p;
    build(p);
    Room().DispatchPacket(p);
}

void CRoomFixture::OpenOffline(const QString& ownId) {
    app.account.loginName = ownId;
    tagEntryData data;
    data.room = 1;
    Room().Open(data);
}

}  // namespace tavotest
