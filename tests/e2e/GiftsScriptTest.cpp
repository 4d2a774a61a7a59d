// Gifts through the reference service: two console clients of the picture edition in one room;
// a gift of three lands as three item lines on both sides, the balances move as announced, and
// a gift the balance cannot pay is refused without moving them.

#include "tests/e2e/ConsoleClient.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tavotest;

namespace {

// A program folder of the picture edition: the build's files, its own edition name.
QString PictureEditionFolder(const QTemporaryDir& dir) {
    const QString folder = dir.filePath("program");
    WriteFile(folder + "/cfg.ini", "[Version]\nname=TavoCloud\n");
    const QDir build(QStringLiteral(TAVO_PROGRAM_DIR));
    for (const QString& name : build.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("cfg.ini")) {
            QFile::link(build.filePath(name), folder + "/" + name);
        }
    }
    return folder;
}

}  // namespace

TEST(GiftsScript, AGiftOfThreeShowsItsItemsAndMovesTheBalances) {
    CServiceProcess service{QStringLiteral(TAVO_SERVERD)};
    ASSERT_TRUE(service.Running()) << service.Output().toStdString();
    QTemporaryDir dir;
    const QString folder = PictureEditionFolder(dir);

    CConsoleClient bob(service,
                       "sleep 6\nlogin bob bob123\nwait-line 登陆成功 10\nuserinfo\nenter 1001\n"
                       "wait-line window open 15\ngifts\nwait-line 爱丽丝 进入房间 30\n"
                       "wait-line [第3个] 20\nsleep 1\ngifts\nleave\n",
                       folder);
    CConsoleClient alice(
        service,
        "sleep 6\nlogin alice alice123\nwait-line 登陆成功 10\nuserinfo\nsleep 2\nenter 1001\n"
        "wait-line window open 15\ngifts\nsleep 1\ngift bob 1001 3\n"
        "wait-line 赠送礼物成功. 10\nwait-line [第3个] 10\ngifts\n"
        "gift bob 1004 20\nwait-line 赠送礼物失败. 10\ngifts\nleave\n",
        folder);
    ASSERT_TRUE(EndedWell(alice, bob, 90s));
    const QString a = alice.Text();
    const QString b = bob.Text();

    // Ten units each, three of them: 30 from Alice, 70 per cent of it to Bob.
    const QString line = "爱丽丝(alice) 赠送了 玫瑰(价值30塔沃币) 给 鲍勃(bob)";
    for (const QString* out : {&a, &b}) {
        EXPECT_EQ(out->count(line), 3) << out->toStdString();
        for (int i : {1, 2, 3}) {
            EXPECT_EQ(out->count(line + QString("[第%1个]").arg(i)), 1) << out->toStdString();
        }
    }
    EXPECT_EQ(a.count("余额:] 1000塔沃币"), 1) << a.toStdString();
    // The refused gift leaves the balance where the first one put it.
    EXPECT_EQ(a.count("余额:] 970塔沃币"), 2) << a.toStdString();
    EXPECT_TRUE(b.contains("余额:] 1000塔沃币")) << b.toStdString();
    EXPECT_TRUE(b.contains("余额:] 1021塔沃币")) << b.toStdString();
    EXPECT_TRUE(a.contains("余额不足")) << a.toStdString();
}
