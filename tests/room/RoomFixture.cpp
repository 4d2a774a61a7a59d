#include "tests/room/RoomFixture.h"

#include "protocol/Commands.h"

namespace tavotest {

void CRecordingHall::RequestRoomAddress(int room) {
    addressRequests.push_back(room);
    // The hall server's answer, as the hall's reply handler passes it on.
    CKParam reply = With(Reply(CMD_ROOM_ADDRESS_REPLY),
                         {{30, room}, {70, static_cast<int>(mainPort)}, {80, "127.0.0.1"}});
    entry->OnRoomAddress(reply);
}

void CRecordingHall::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    posted.emplace_back(msg, wParam);
    PostMessage(msg, wParam, lParam);
}

intptr_t CRecordingHall::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    if (entry && msg == 1357) {
        entry->OnRoomMessage(static_cast<unsigned>(wParam), static_cast<long>(lParam));
    } else if (entry && msg == 1034) {
        entry->OnRetryEntry(wParam != 0);
    }
    return 0;
}

QString MemberText(const QString& id, const QString& nick, int rank, bool registered, bool flagB) {
    QStringList f;
    f << id << nick << QString::number(registered ? 1 : 0) << QString::number(rank)
      << QString::number(flagB ? 1 : 0) << QStringLiteral("0") << QStringLiteral("text7")
      << QString() << QStringLiteral("text9");
    while (f.size() < 23) {
        f << QStringLiteral("0");
    }
    return f.join(QLatin1Char(','));
}

UserInfo Member(const QString& id, const QString& nick) {
    UserInfo m;
    m.id = id;
    m.nickname = nick;
    return m;
}

CKParam Announcement(short command, const QStringList& texts) {
    CKParam p = Packet(command);
    for (int i = 0; i < texts.size(); ++i) {
        p.SetCString(static_cast<short>(20 + 10 * i), texts[i]);
    }
    return p;
}

CScriptedRoomServer::CScriptedRoomServer() {
    main.Answer(CMD_ROOM_LOGIN, [this](CTestConnection& peer, CKParam&) {
        CKParam reply = Reply(CMD_ROOM_LOGIN_REPLY, refuseLogin ? -1 : 0, std::max(refuseLogin, 0));
        SetFields(reply, loginExtra);
        peer.KSend(reply);
        if (!refuseLogin) {
            peer.Send(
                Reply(CMD_USER_VERIFIED, refuseVerified ? -1 : 0, std::max(refuseVerified, 0)));
        }
    });
    main.Answer(CMD_ENTER, [this](CTestConnection& peer, CKParam&) {
        const int code = refuseEntry.empty() ? 0 : refuseEntry.front();
        if (!refuseEntry.empty()) {
            refuseEntry.erase(refuseEntry.begin());
        }
        CKParam reply = Reply(CMD_ENTER_REPLY, code ? -1 : 0, code);
        if (code) {
            SetFields(reply, entryExtra);
        } else {
            SetFields(reply, {{30, 77},
                              {40, 88},
                              {50, static_cast<int>(second.Port())},
                              {60, entryText},
                              {200, room}});
        }
        peer.KSend(reply);
    });
    main.Answer(CMD_MEMBER_LIST, [this](CTestConnection& peer, CKParam&) {
        CKParam reply = Reply(CMD_MEMBER_LIST_REPLY);
        reply.SetInt(30, static_cast<int>(members.size()));
        for (int i = 0; i < members.size(); ++i) {
            reply.SetCString(static_cast<short>(31 + i), members[i]);
        }
        peer.KSend(reply);
    });
    main.Answer(CMD_ROOM_SETTINGS, [this](CTestConnection& peer, CKParam&) {
        // Readers take the first of a key: a test's own values come first.
        CKParam reply = Packet(CMD_ROOM_SETTINGS_REPLY);
        SetFields(reply, settings);
        SetFields(reply, {{KEY_RESULT, 0}, {30, "测试房间"}, {110, 120}});
        peer.KSend(reply);
    });
    main.AnswerWith(CMD_TEXT, CMD_TEXT_REPLY);
    second.AnswerWith(CMD_ATTACH, CMD_ATTACH_REPLY);
    main.Start();
    second.Start();
}

CRoomFixture::CRoomFixture() {
    app.edition = EDITION_20;
    app.account.loginName = QStringLiteral("me");
    app.account.userNumber = 4321;
    app.account.adapterAddress = QStringLiteral("00-11-22-33-44-55");
    app.settings.fip = QStringLiteral("10.0.0.9");
    app.settings.fport = 7001;
    app.programFolder = QStringLiteral("/opt/tavo");
    hall.mainPort = server.main.Port();
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
}

bool CRoomFixture::Enter(int room) {
    server.room = room;
    entry->OnRoomMessage(1, room);
    // Fetched when the settings have arrived: the microphone mode is drawn.
    return WaitUntil([&] { return roomView.shown && !roomView.micMode.isEmpty(); });
}

void CRoomFixture::OpenOffline() {
    tagEntryData data;
    data.room = 1;
    Room().Open(data);
}

}  // namespace tavotest
