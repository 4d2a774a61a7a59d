#include "server/Seed.h"

#include "server/GiftStore.h"
#include "server/Store.h"

bool SeedDemoData(CStore& store) {
    bool ok = true;
    struct Account {
        int number;
        const char* name;
        const char* password;
        const char* nickname;
    };
    const Account accounts[] = {
        {10001, "alice", "alice123", "爱丽丝"}, {10002, "bob", "bob123", "鲍勃"},
        {10003, "carol", "carol123", "卡罗尔"}, {10004, "dave", "dave123", "大卫"},
        {10005, "erin", "erin123", "艾琳"},
    };
    for (const Account& a : accounts) {
        ok = store.AddAccount(QString::fromUtf8(a.name), QString::fromUtf8(a.password),
                              QString::fromUtf8(a.nickname), a.number) == a.number &&
             ok;
    }
    const tagArea areas[] = {
        {1, QStringLiteral("音乐广场"), 1, 1},
        {2, QStringLiteral("聊天交友"), 1, 2},
        {3, QStringLiteral("新手乐园"), 2, 1},
        {4, QStringLiteral("游戏天地"), 3, 1},
    };
    for (const tagArea& a : areas) {
        ok = store.AddArea(a) && ok;
    }
    const tagRoomFormat formats[] = {
        {1, QStringLiteral("小型房间"), 30},
        {2, QStringLiteral("中型房间"), 100},
        {3, QStringLiteral("大型房间"), 500},
    };
    for (const tagRoomFormat& f : formats) {
        ok = store.AddFormat(f) && ok;
    }

    tagRoomRecord music;
    music.number = 1001;
    music.area = 1;
    music.name = QStringLiteral("音乐之声");
    music.owner = 10001;
    music.maxMembers = 100;
    music.topic = QStringLiteral("好声音在这里");
    music.welcome = QStringLiteral("欢迎$某某人$来到$某某房间$!");
    music.micMode = 1;
    music.micSeconds = 300;
    music.forbiddenNicknames = QStringLiteral("管理员,admin");
    music.forbiddenTexts = QStringLiteral("广告,spam");
    music.isp = QStringLiteral("电信");

    tagRoomRecord karaoke;
    karaoke.number = 1002;
    karaoke.area = 1;
    karaoke.name = QStringLiteral("K歌大厅");
    karaoke.owner = 10002;
    karaoke.maxMembers = 200;
    karaoke.micMode = 0;
    karaoke.micSeconds = 240;
    karaoke.isp = QStringLiteral("网通");

    tagRoomRecord secret;
    secret.number = 1003;
    secret.area = 2;
    secret.name = QStringLiteral("密室");
    secret.owner = 10003;
    secret.password = QStringLiteral("sesame");
    secret.maxMembers = 50;

    tagRoomRecord cabin;
    cabin.number = 1004;
    cabin.area = 2;
    cabin.name = QStringLiteral("小屋");
    cabin.maxMembers = 3;

    tagRoomRecord classroom;
    classroom.number = 1005;
    classroom.area = 3;
    classroom.name = QStringLiteral("新手教室");
    classroom.owner = 10004;
    classroom.micMode = 2;
    classroom.publicText = false;

    for (const tagRoomRecord* r : {&music, &karaoke, &secret, &cabin, &classroom}) {
        ok = store.AddRoom(*r) == r->number && ok;
    }
    ok = store.SetRank(1001, 10002, RANK_OPERATOR) && ok;
    // One ban to show what a banned member sees.
    ok = store.AddBan({1002, QStringLiteral("erin"), 4102444800LL, QStringLiteral("演示"),
                       QStringLiteral("bob")}) &&
         ok;
    return SeedDemoGifts(store) && ok;
}
