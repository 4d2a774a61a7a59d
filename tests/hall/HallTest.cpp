// The hall window against scripted servers: its start, presence lost and rebuilt, the replies
// it handles on its own, its requests, quitting, and creating one's own room.

#include "hall/CreateRoomDlg.h"
#include "hall/LoginDlg.h"
#include "hall/Response2Dlg.h"
#include "tests/hall/HallFixture.h"

#include <deque>

using namespace tavotest;

namespace {

// The room side as the hall sees it: it records the rooms it is asked to enter.
class CRecordingRoomSide : public IRoomEntry {
public:
    void OnRoomMessage(unsigned wParam, long lParam) override {
        if (wParam == 1) {
            entries.push_back(static_cast<int>(lParam));
        }
    }
    void OnRetryEntry(bool) override {}
    void OnRoomAddress(CKParam&) override {}
    void OnUserVerified(CKParam&) override {}
    void OnVerifyTimeout() override {}
    bool IsRoomOpen() const override { return false; }
    bool IsPrivateRoomOpen() const override { return false; }

    std::vector<int> entries;
};

class Hall : public HallFixture {
protected:
    void SetUp() override {
        roomSide = &room;
        HallFixture::SetUp();
        // Presence requests are answered with 71, or with what the server has to say.
        center.Answer(CMD_PRESENCE, [this](CTestConnection& peer, CKParam&) {
            CKParam packet;
            if (pushes.empty()) {
                packet = Reply(CMD_PRESENCE_REPLY);
                lastPresenceAnswered = clock.Now();
            } else {
                packet = std::move(pushes.front());
                pushes.pop_front();
            }
            peer.KSend(packet);
        });
    }

    // The server answers the next presence request with this packet instead, and the one after
    // that normally again, so the hall stays present; waits until the hall has had both.
    void Push(short command, tagFields fields = {}) {
        pushes.push_back(Packet(command, fields));
        NextPresence();
        if (command != CMD_SERVER_QUIT && command != CMD_LOGGED_ELSEWHERE) {
            NextPresence();
        }
    }

    void NextPresence() {
        const size_t before = center.Received(CMD_PRESENCE).size();
        const auto arrived = [&] { return center.Received(CMD_PRESENCE).size() > before; };
        // The presence timer fires within 15 seconds; the request then needs real time to
        // cross the loopback, and the reply to come back.
        Step(15, arrived);
        ASSERT_TRUE(WaitUntil(arrived));
        Spin(std::chrono::milliseconds(30));
    }

    // The server goes silent: it takes each presence and visitor request and hangs up without a
    // word.
    void HangUp() {
        const CLoopbackServer::Script hangUp = [](CTestConnection& peer, CKParam&) {
            peer.KClose();
        };
        center.Answer(CMD_PRESENCE, hangUp);
        center.Answer(CMD_VISITOR, hangUp);
    }

    // The server answers again under a new visitor name; true when the hall has it within ten
    // seconds.
    bool AnswerAgain(const QString& visitor) {
        center.AnswerWith(CMD_VISITOR, CMD_VISITOR_REPLY, {{30, visitor}});
        center.AnswerWith(CMD_PRESENCE, CMD_PRESENCE_REPLY);
        return Step(10, [&] {
            return WaitUntil([&] { return state.account.visitorName == visitor; },
                             std::chrono::milliseconds(20));
        });
    }

    // Logged in before the hall starts; the visitor reply would give another user number.
    void LogIn(const QString& name, int number) {
        center.Silence(CMD_VISITOR);
        state.account.loginName = name;
        state.account.userNumber = number;
    }

    std::deque<CKParam> pushes;
    int64_t lastPresenceAnswered = 0;
    CRecordingRoomSide room;
};

TEST_F(Hall, NoServerInformationEndsTheRun) {
    route.Close();
    bool ran = false;
    EXPECT_EQ(RunHall([&] { ran = true; }), IDCANCEL);
    EXPECT_FALSE(ran);
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"取服务器信息失败.正在退出中."}));
    EXPECT_TRUE(state.exiting);
    EXPECT_EQ(center.PeerCount(), 0);
}

TEST_F(Hall, WithoutTheDocumentTheVersionRequestDecides) {
    state.configRead = false;
    // The same version: the start goes on.
    center.AnswerWith(CMD_VERSION, CMD_VERSION_REPLY, {{30, 1828}});
    RunHall([&] { EXPECT_TRUE(center.WaitFor(CMD_VISITOR)); });
    EXPECT_TRUE(CenterGot(CMD_VERSION, {{106, "00-1A-2B-3C-4D-5E"}}));

    // A newer one: asked, and the hall closes whatever the answer.
    center.AnswerWith(CMD_VERSION, CMD_VERSION_REPLY, {{30, 1900}});
    ui.prompt.Answer(IDNO);
    NewHall();
    bool ran = false;
    EXPECT_EQ(RunHall([&] { ran = true; }), IDCANCEL);
    EXPECT_FALSE(ran);
    EXPECT_EQ(ui.prompt.Texts(),
              QStringList({"塔沃有新版本发布了,程序必须升级才能使用,是否升级?"}));

    // A refused version request: the start ends with the failure text.
    ui.prompt.Clear();
    center.Answer(CMD_VERSION, [](CTestConnection& peer, CKParam&) {
        peer.Send(Reply(CMD_VERSION_REPLY, 1, 137));
    });
    NewHall();
    EXPECT_EQ(RunHall([&] { ran = true; }), IDCANCEL);
    EXPECT_FALSE(ran);
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"取最新版本信息失败."}));
    EXPECT_EQ(center.Received(CMD_VISITOR).size(), 1u);  // only the first run got that far
}

TEST_F(Hall, PresenceIsLostAfterAMinuteOfSilenceAndRebuilt) {
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        // Presence requests go out every 15 seconds and their replies keep us present.
        ASSERT_TRUE(Step(16, [&] { return center.Received(CMD_PRESENCE).size() == 1; }));
        EXPECT_TRUE(CenterGot(CMD_PRESENCE, {{20, "游客1"}, {30, 500}}));
        Step(120);
        EXPECT_FALSE(state.account.visitorName.isEmpty());

        HangUp();
        Step(1);
        const int64_t lastReply = lastPresenceAnswered;
        ASSERT_TRUE(Step(120, [&] { return state.account.visitorName.isEmpty(); }));
        const int64_t lostAfter = clock.Now() - lastReply;
        EXPECT_GE(lostAfter, 60);
        EXPECT_LE(lostAfter, 90);
        // Meanwhile the visitor request is repeated every 5 seconds.
        const size_t before = center.Received(CMD_VISITOR).size();
        Step(15);
        EXPECT_GE(center.Received(CMD_VISITOR).size(), before + 2);
        EXPECT_TRUE(state.account.visitorName.isEmpty());

        // The server answers again: presence is back within 5 seconds.
        const int64_t answering = clock.Now();
        ASSERT_TRUE(AnswerAgain("游客8"));
        EXPECT_LE(clock.Now() - answering, 5);
    });
}

TEST_F(Hall, EditionsThatWantAnAccountOfferTheLoginWithEveryVisitorPresence) {
    state.edition = EDITION_50;
    // The server forgets us for a minute, then answers again under a new visitor name.
    const auto loseAndRebuild = [&](const QString& visitor) {
        HangUp();
        ASSERT_TRUE(Step(120, [&] { return state.account.visitorName.isEmpty(); }));
        ASSERT_TRUE(AnswerAgain(visitor));
        Spin(std::chrono::milliseconds(50));
    };
    // The user leaves the first offer open while the presence is lost and rebuilt: the visitor
    // reply that comes meanwhile does not put a second login over it.
    ui.dialogs.Script(CLoginDlg::IDD, [&](CDialogModel& d) {
        loseAndRebuild("游客2");
        d.EndDialog(IDCANCEL);
    });
    ui.dialogs.Default(CLoginDlg::IDD, [](CDialogModel& d) { d.EndDialog(IDCANCEL); });
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return state.account.visitorName == "游客2"; }));
        Spin(std::chrono::milliseconds(50));
        EXPECT_EQ(ui.dialogs.Count(CLoginDlg::IDD), 1);
        // Once it is closed, the next rebuilt presence offers the login again.
        loseAndRebuild("游客3");
        EXPECT_TRUE(WaitUntil([&] { return ui.dialogs.Count(CLoginDlg::IDD) == 2; }));
    });
    EXPECT_TRUE(ui.prompt.History().empty());  // offers never log out or complain

    // Edition 70 offers it at start already; the visitor reply adds none while it is up.
    state.edition = EDITION_70;
    state.account = tagAccount();
    state.account.adapterAddress = "00-1A-2B-3C-4D-5E";
    ui.dialogs.Script(CLoginDlg::IDD, [&](CDialogModel& d) {
        EXPECT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        Spin(std::chrono::milliseconds(50));
        d.EndDialog(IDCANCEL);
    });
    NewHall();
    RunHall([&] { Spin(std::chrono::milliseconds(100)); });
    EXPECT_EQ(ui.dialogs.Count(CLoginDlg::IDD), 3);

    // A start room goes first: no offer.
    state.account = tagAccount();
    state.startRoom = 9;
    NewHall();
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        Spin(std::chrono::milliseconds(50));
    });
    EXPECT_EQ(ui.dialogs.Count(CLoginDlg::IDD), 3);
}

TEST_F(Hall, RepliesThatComeWithoutARequestDialog) {
    LogIn("Alice", 1001);
    state.userRooms.first = {101};
    RunHall([&] {
        // 81: the user's room list; rows without three fields are skipped, names are cut so
        // that name and state take 20 characters, and the marks are drawn.
        Push(CMD_ROOM_LIST_REPLY, {{KEY_RESULT, 0},
                                   {30, 4},
                                   {31, "101,音乐之家,(满)"},
                                   {32, "broken row"},
                                   {33, "102,一个名字非常非常非常非常非常长的房间啊,[热门,推荐]"},
                                   {34, "x,no number,"}});
        ASSERT_EQ(view.rooms.size(), 2u);
        EXPECT_EQ(view.rooms[0].shown, "音乐之家(满)");
        EXPECT_EQ(view.rooms[0].data, 101);
        EXPECT_EQ(view.rooms[1].shown, "一个名字非常非常非常非常非[热门,推荐]");
        EXPECT_EQ(view.rooms[1].shown.size(), 20);
        EXPECT_EQ(view.rooms[1].text, "一个名字非常非常非常非常非常长的房间啊[热门,推荐]");
        EXPECT_EQ(view.marks, (std::map<int, EListMark>{{0, EListMark::First}}));

        // 1101: a room's address pushed; remembered, and the room entered the way the user
        // enters one: the room side decides (inside a room it asks first), and the hall asks
        // nothing of its server behind the room's back.
        Push(CMD_ROOM_ADDRESS_PUSH, {{KEY_RESULT, 0}, {30, 102}, {40, "10.0.0.9"}, {50, "电信"}});
        EXPECT_TRUE(WaitUntil([&] { return room.entries == std::vector<int>({102}); }));
        EXPECT_TRUE(center.Received(CMD_ROOM_ADDRESS).empty());
        // The room side asks where its room is through the hall.
        hall->RequestRoomAddress(102);
        ASSERT_TRUE(center.WaitFor(CMD_ROOM_ADDRESS));
        EXPECT_TRUE(CenterGot(CMD_ROOM_ADDRESS, {{20, 102}, {106, "00-1A-2B-3C-4D-5E"}}));
        hall->OnSelectRoom(1);
        EXPECT_EQ(view.RoomNumberText(), "102");
        EXPECT_EQ(view.information, "一个名字非常非常非常非常非常长的房间啊[热门,推荐](电信)");
        hall->OnSelectRoom(0);
        EXPECT_EQ(view.information, "音乐之家(满)");
        hall->OnSelectRoom(7);  // out of range: nothing changes
        EXPECT_EQ(view.RoomNumberText(), "101");

        // Refusals in 81 and 1101 show the refusal text and change nothing.
        Push(CMD_ROOM_LIST_REPLY, {{KEY_RESULT, -1}, {KEY_REFUSAL, 140}});
        Push(CMD_ROOM_ADDRESS_PUSH, {{KEY_RESULT, -1}, {KEY_REFUSAL, 131}});
        EXPECT_EQ(ui.prompt.Texts(), QStringList({"房间被禁用", "房间号非法"}));
        EXPECT_EQ(view.rooms.size(), 2u);
        EXPECT_EQ(center.Received(CMD_ROOM_ADDRESS).size(), 1u);

        // 91: a favourite added; said so, and the room list asked for again.
        ui.prompt.Clear();
        Push(CMD_ADD_FAVORITE_REPLY, {{KEY_RESULT, 0}});
        ASSERT_TRUE(center.WaitFor(CMD_ROOM_LIST));
        EXPECT_EQ(ui.prompt.Texts(), QStringList({"添加房间到收藏夹成功."}));
        EXPECT_TRUE(CenterGot(CMD_ROOM_LIST, {{20, "Alice"}, {30, 1001}}));

        // A reply the hall does not handle (its request dialog would) changes nothing.
        ui.prompt.Clear();
        Push(CMD_LOGIN_REPLY, {{KEY_RESULT, 0}});
        EXPECT_TRUE(ui.prompt.Texts().isEmpty());
        EXPECT_EQ(state.account.loginName, "Alice");

        // 770: logged in elsewhere; acknowledged, said, and both names cleared.
        Push(CMD_LOGGED_ELSEWHERE);
        ASSERT_TRUE(center.WaitFor(CMD_LOGGED_ELSEWHERE_ACK));
        EXPECT_TRUE(CenterGot(CMD_LOGGED_ELSEWHERE_ACK, {{20, "Alice"}, {30, 1001}}));
        EXPECT_EQ(ui.prompt.Texts(), QStringList({"用户已经在其他服务器登陆了!"}));
        EXPECT_TRUE(state.account.loginName.isEmpty());
        EXPECT_TRUE(state.account.visitorName.isEmpty());
        EXPECT_TRUE(state.userRooms.first.empty());
        EXPECT_EQ(view.marks, (std::map<int, EListMark>{{0, EListMark::None}}));
        EXPECT_GE(view.accountRefreshes, 1);
    });
}

TEST_F(Hall, EveryCenterCodeHasAHandlerOrADeclaredConsumer) {
    const CDispatchTable& table = hall->Replies();
    for (const tagCommandInfo& c : kCommandTable) {
        if (c.feature != EFeature::Center) {
            continue;
        }
        // A reply or notice nobody takes would be dropped without a word.
        EXPECT_NE(table.Route(c.code), CDispatchTable::ERoute::None)
            << c.name << " has no handler, no consumer and no sender";
        // An exchange of the request dialog ends only when its reply reaches the dialog: the
        // second route hands the dialog only the replies that end it.
        if (CResponse2Dlg::TitleId(c.code) != 0 &&
            CResponse2Dlg::RouteOf(c.code) != CResponse2Dlg::ERoute::WebPage) {
            EXPECT_EQ(table.Route(c.reply), CDispatchTable::ERoute::Elsewhere)
                << c.name << " is answered by a reply the request dialog never sees";
        }
    }
    // The room side's verification comes through the hall window too.
    EXPECT_EQ(table.Route(CMD_USER_VERIFIED), CDispatchTable::ERoute::Handler);
}

TEST_F(Hall, QuittingAsksTellsTheServerAndEndsShortlyAfterUnlessTheServerAsked) {
    ui.dialogs.Script(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        ui.prompt.Answer(IDCANCEL);
        hall->OnCancel();
        EXPECT_TRUE(d.IsOpen());
        EXPECT_TRUE(center.Received(CMD_QUIT).empty());

        hall->OnCancel();  // OK this time
        // The loop ends as soon as the request is on its way, with no time passing.
        EXPECT_TRUE(WaitUntil([&] { return view.trayTip.isEmpty(); }));
        d.EndDialog(IDCANCEL);  // only when the quit did not end it
    });
    EXPECT_EQ(hall->DoModal(), IDOK);
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"是否要退出系统塔沃?", "是否要退出系统塔沃?"}));
    EXPECT_TRUE(ui.prompt.History()[0].flags & MB_OKCANCEL);
    EXPECT_TRUE(view.trayTip.isEmpty());
    // Closed right after it went out, the request still reaches the server whole.
    ASSERT_TRUE(center.WaitFor(CMD_QUIT));
    EXPECT_TRUE(CenterGot(CMD_QUIT, {{20, "游客1"}, {30, 500}, {104, "标识"}}));

    // When the server asks us to quit, there is no question.
    ui.prompt.Clear();
    state.exiting = false;
    NewHall();
    ui.dialogs.Script(CTavoClientDlg::IDD, [&](CDialogModel& d) {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        Push(CMD_SERVER_QUIT);
        EXPECT_TRUE(state.exiting);
        EXPECT_TRUE(WaitUntil([&] { return view.trayTip.isEmpty(); }));  // the loop ends
        d.EndDialog(IDCANCEL);  // only when the quit did not end it
    });
    EXPECT_EQ(hall->DoModal(), IDOK);
    EXPECT_TRUE(ui.prompt.History().empty());
}

TEST_F(Hall, RequestsThatNeedALogin) {
    RunHall([&] {
        hall->OnAddFavorite(101);
        view.SetRoomNumberText("0");
        hall->OnEnterTypedRoom();
    });
    EXPECT_EQ(ui.prompt.Texts(), QStringList({"请先登陆!", "房间号非法"}));
    EXPECT_TRUE(center.Received(CMD_ADD_FAVORITE).empty());
}

TEST_F(Hall, UserInformationAndEntryInformation) {
    LogIn("Alice", 1001);
    center.AnswerWith(CMD_USER_INFO, CMD_USER_INFO_REPLY,
                      {{30, "爱丽丝"}, {36, "北京"}, {33, 12}, {39, -4}});
    center.AnswerWith(CMD_ENTRY_INFO, CMD_ENTRY_INFO_REPLY);
    RunHall([&] {
        hall->OnUserInfo();
        hall->OnEntryInfo(3, 4);
    });
    EXPECT_EQ(state.userInfo.texts[30], "爱丽丝");
    EXPECT_EQ(state.userInfo.texts[36], "北京");
    EXPECT_EQ(state.userInfo.numbers[33], 12);
    EXPECT_EQ(state.userInfo.numbers[39], -4);
    EXPECT_TRUE(CenterGot(CMD_USER_INFO, {{20, "Alice"}, {30, 1001}}));
    EXPECT_TRUE(CenterGot(CMD_ENTRY_INFO, {{40, 3}, {50, 4}}));
}

TEST_F(Hall, OwnRoomsArriveAfterLoginAndMarkTheRoomList) {
    state.edition = EDITION_50;
    state.startRoom = 9;  // a start room: edition 50 does not open the login by itself
    center.Answer(CMD_LOGIN, [](CTestConnection& peer, CKParam&) {
        peer.Send(With(Reply(CMD_LOGIN_REPLY, 0), {{30, 1001}, {40, "Alice"}}));
    });
    center.AnswerWith(CMD_OWN_ROOMS, CMD_OWN_ROOMS_REPLY, [](CKParam& p) {
        p.SetInt(30, 2);
        p.SetInt(31, 101);
        p.SetInt(32, 102);
        p.SetInt(33, 2);  // the second list
        p.SetInt(34, 103);
        p.SetInt(35, 101);
        p.SetInt(31 + 9970, 5);
        p.SetInt(34 + 9970, 6);
        p.SetInt(35 + 9970, 7);
    });
    ui.dialogs.Script(CLoginDlg::IDD, [](CDialogModel& d) {
        auto& login = static_cast<CLoginDlg&>(d);
        login.SetUserId("alice");
        login.SetPassword("pw");
        login.OnOK();
    });
    RunHall([&] {
        ASSERT_TRUE(WaitUntil([&] { return !state.account.visitorName.isEmpty(); }));
        Push(CMD_ROOM_LIST_REPLY,
             {{KEY_RESULT, 0}, {30, 3}, {31, "103,三,"}, {32, "104,四,"}, {33, "101,一,"}});
        ASSERT_EQ(view.rooms.size(), 3u);
        EXPECT_TRUE(view.marks.empty());
        hall->OnLogin();
        clock.Advance(100);
        ASSERT_TRUE(center.WaitFor(CMD_ROOM_LIST));
        // Room 101 is in both lists: the second list's mark is drawn last.
        EXPECT_EQ(view.marks,
                  (std::map<int, EListMark>{{0, EListMark::Second}, {2, EListMark::Second}}));
        EXPECT_EQ(state.userRooms.first, (std::vector<int>{101, 102}));
        EXPECT_EQ(state.userRooms.second, (std::vector<int>{103, 101}));
        EXPECT_EQ(state.userRooms.marks, (std::map<int, int>{{101, 7}, {102, 0}, {103, 6}}));
    });
}

TEST_F(Hall, CreatingOnesOwnRoom) {
    LogIn("Alice", 1001);
    center.AnswerWith(CMD_ROOM_FORMATS, CMD_ROOM_FORMATS_REPLY, [](CKParam& p) {
        // Three fields, each closed by a comma; two or four are no format.
        p.SetInt(30, 4);
        p.SetCString(40, "1,标准房,50人,");
        p.SetCString(41, "3,中房间,80人");
        p.SetCString(42, "a,b,c,d,");
        p.SetCString(43, "2,大房间,100人,");
    });
    int createResult = 0;
    route.Answer(CMD_CREATE_ROOM, [&](CTestConnection& peer, CKParam&) {
        peer.Send(
            With(Reply(CMD_CREATE_ROOM_REPLY, createResult, createResult ? 140 : 0), {{30, 8001}}));
    });
    std::vector<RoomFormat> offered;
    ui.dialogs.Default(CCreateRoomDlg::IDD, [&](CDialogModel& d) {
        auto& create = static_cast<CCreateRoomDlg&>(d);
        offered = create.Formats();
        create.roomName = "我的房间";
        create.password = "1234";
        create.formatIndex = 1;
        create.visible = false;
        create.EndDialog(IDOK);
    });
    ui.prompt.Answer(IDNO);
    RunHall([&] {
        hall->OnCreateRoom();
        createResult = 1;
        hall->OnCreateRoom();
    });
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1].code, 2);
    EXPECT_EQ(offered[1].name, "大房间");
    EXPECT_EQ(offered[1].description, "100人");
    const auto created = route.Received(CMD_CREATE_ROOM);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_TRUE(HasFields(created[0], {{20, "Alice"},
                                       {30, 1001},
                                       {40, "我的房间"},
                                       {60, "1234"},
                                       {70, 2},
                                       {80, false},
                                       {106, "00-1A-2B-3C-4D-5E"}}));
    EXPECT_EQ(ui.prompt.Texts(),
              QStringList({"自建房间成功,是否进入?    房间ID:8001", "自建房间失败.,房间被禁用."}));
    EXPECT_TRUE(ui.prompt.History()[0].flags & MB_YESNO);
}

}  // namespace
