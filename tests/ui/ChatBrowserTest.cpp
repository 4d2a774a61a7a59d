// The chat view on the real chat pages: lines land in the first cell, pictures come from the
// program folder only and animate, the view keeps to its line limit, scrolls with the lines,
// reports clicks on names, and takes a hostile line once it is cleaned.

#include "room/ChatSanitizer.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/Widgets.h"
#include "ui/ChatBrowser.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

const QString kFolder = QStringLiteral(TAVO_PROGRAM_DIR);

QString FaceLine(const QString& text, int face) {
    return QString(
               R"(<font color=#00f>小明</font>说:<font style="color:#000">%1<IMG src="%2\img\face\%3.gif"></font><br>)")
        .arg(text, kFolder)
        .arg(face, 2, 10, QChar('0'));
}

// How deep tables nest in a frame.
int TableDepth(QTextFrame* frame) {
    int deepest = 0;
    for (QTextFrame* child : frame->childFrames()) {
        const int below = TableDepth(child) + (qobject_cast<QTextTable*>(child) ? 1 : 0);
        deepest = std::max(deepest, below);
    }
    return deepest;
}

struct ChatView : ::testing::Test {
    CChatBrowser view;
    ChatView() {
        view.SetProgramFolder(kFolder);
        view.resize(480, 320);
    }
};

}  // namespace

TEST_F(ChatView, LinesLandInThePagesFirstCellUntilClearedOrDroppedWithoutOne) {
    for (const char* page : {"pub.htm", "big_pub.htm", "pri.htm"}) {
        ASSERT_TRUE(view.LoadPage(page)) << page;
        EXPECT_EQ(view.LineCount(), 0);
        EXPECT_TRUE(view.InsertAtFirstTd("<font color=red>系统消息: 欢迎</font><br>"));
        EXPECT_TRUE(view.InsertAtFirstTd("second &lt;b&gt; line<br>"));
        EXPECT_EQ(view.CellText().trimmed(), "系统消息: 欢迎\nsecond <b> line") << page;
        EXPECT_EQ(view.LineCount(), 2);
    }
    // Cleared, the cell takes the next lines without the old lines' formats.
    for (int i = 0; i < 20; ++i) {
        view.InsertAtFirstTd(QString("<b>line %1</b><br>").arg(i));
    }
    view.Clear();
    EXPECT_EQ(view.LineCount(), 0);
    EXPECT_TRUE(view.CellText().trimmed().isEmpty());
    view.InsertAtFirstTd("after<br>");
    EXPECT_EQ(view.CellText().trimmed(), "after");
    EXPECT_FALSE(view.CellHtml().contains("font-weight")) << "the cleared lines' bold leaked";

    // A page without a cell, or no page at all, drops the lines.
    QTemporaryDir dir;
    ASSERT_TRUE(
        WriteFile(dir.path() + "/pub.htm", "<html><body><p>no table here</p></body></html>"));
    view.SetProgramFolder(dir.path());
    ASSERT_TRUE(view.LoadPage("pub.htm"));
    EXPECT_FALSE(view.InsertAtFirstTd("lost<br>"));
    EXPECT_FALSE(view.toPlainText().contains("lost"));
    EXPECT_FALSE(view.LoadPage("pri.htm"));
    EXPECT_FALSE(view.InsertAtFirstTd("lost too<br>"));
}

TEST_F(ChatView, FacePicturesResolveFromTheProgramFolderAndOthersDoNot) {
    ASSERT_TRUE(view.LoadPage("pub.htm"));
    view.InsertAtFirstTd(FaceLine("hi", 1));
    view.InsertAtFirstTd(R"(<img src=")" + kFolder + R"(\..\..\etc\passwd.gif">x<br>)");
    view.Flush();

    const QStringList names = ImageNames(*view.document());
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0], kFolder + "/img/face/01.gif");
    auto pixmap = [&](const QString& name) {
        return view.document()->resource(QTextDocument::ImageResource, QUrl(name)).value<QPixmap>();
    };
    EXPECT_EQ(pixmap(names[0]).size(), QSize(24, 24));
    EXPECT_TRUE(pixmap(names[1]).isNull()) << "a picture outside the program folder was loaded";
}

TEST_F(ChatView, AnimatedFacesMoveOnlyWhileTheViewIsShown) {
    ASSERT_TRUE(view.LoadPage("pub.htm"));
    view.InsertAtFirstTd(FaceLine("a", 3) + FaceLine("b", 3) + FaceLine("c", 4));
    const QUrl face3(kFolder + "/img/face/03.gif");
    view.document()->resource(QTextDocument::ImageResource, face3);
    EXPECT_EQ(view.RunningMovies(), 0) << "hidden views spend nothing on frames";

    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.document()->resource(QTextDocument::ImageResource, QUrl(kFolder + "/img/face/04.gif"));
    EXPECT_EQ(view.RunningMovies(), 2) << "one movie per picture, shared by its lines";
    const qint64 first =
        view.document()->resource(QTextDocument::ImageResource, face3).value<QPixmap>().cacheKey();
    EXPECT_TRUE(WaitUntil([&] {
        return view.document()
                   ->resource(QTextDocument::ImageResource, face3)
                   .value<QPixmap>()
                   .cacheKey() != first;
    })) << "the face never moved to its next frame";

    view.hide();
    EXPECT_EQ(view.RunningMovies(), 0);
}

TEST_F(ChatView, OldestLinesGoBeyondTheLimitAndTheRestStaysIntact) {
    ASSERT_TRUE(view.LoadPage("big_pub.htm"));
    view.SetLineLimit(50);
    for (int i = 0; i < 300; ++i) {
        view.InsertAtFirstTd(i % 7 == 0 ? FaceLine(QString("line %1 ").arg(i), i % 40)
                                        : QString("<font color=#333>line %1</font><br>").arg(i));
    }
    EXPECT_LE(view.LineCount(), 50);
    EXPECT_GE(view.LineCount(), 45);
    const QStringList lines = view.CellText().trimmed().split('\n');
    ASSERT_EQ(lines.size(), view.LineCount());
    // Whole lines go, newest last, in order, none cut in half.
    for (int i = 0; i < lines.size(); ++i) {
        const QString text = QString(lines[i]).remove(QChar::ObjectReplacementCharacter).trimmed();
        EXPECT_EQ(text.section(':', -1), QString("line %1").arg(300 - lines.size() + i));
    }
}

TEST_F(ChatView, ScrollToEndFollowsNewLinesAndManualScrollStays) {
    ASSERT_TRUE(view.LoadPage("pub.htm"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (int i = 0; i < 100; ++i) {
        view.InsertAtFirstTd(QString("line %1<br>").arg(i));
        view.ScrollTo(0, 10000000);
    }
    ASSERT_TRUE(WaitUntil([&] { return view.verticalScrollBar()->maximum() > 0; }));
    EXPECT_TRUE(WaitUntil([&] { return view.AtEnd(); }));

    view.ScrollTo(0, 0);
    for (int i = 0; i < 20; ++i) {
        view.InsertAtFirstTd(QString("more %1<br>").arg(i));
    }
    Spin(std::chrono::milliseconds(20));
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST_F(ChatView, ClickingANameReportsTheMember) {
    ASSERT_TRUE(view.LoadPage("pub.htm"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InsertAtFirstTd(
        R"(<font color=#00f><a id="talkobject" tavoid="10086" tavoname="小红" href="" style="text-decoration:none">小红</a></font>说:<font>你好</font><br>)");
    view.Flush();
    QSignalSpy members(&view, &CChatBrowser::MemberClicked);
    const int at = view.document()->find("小红").selectionStart();
    QTextCursor cursor(view.document());
    cursor.setPosition(at + 1);
    const QPoint point = view.cursorRect(cursor).center();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, point);
    ASSERT_EQ(members.count(), 1);
    EXPECT_EQ(members[0][0].toString(), "10086");
    EXPECT_EQ(members[0][1].toString(), "小红");
}

TEST_F(ChatView, ALineOfNestedTablesIsCutToItsBudgetBeforeTheViewLaysItOut) {
    // Each level doubles the layout: 24 levels in under 400 bytes would hold the view for hours.
    const QString line = QStringLiteral("<table><tr><td>").repeated(24) + QStringLiteral("deep");
    ASSERT_LT(line.toUtf8().size(), 400);
    const QString clean = SanitizeChatFragment(line, kFolder);
    // The structure the view's parser builds, read before anything is laid out.
    QTextDocument parsed;
    parsed.setHtml(clean);
    ASSERT_LE(TableDepth(parsed.rootFrame()), tagFragmentBudget::kMaxTableDepth);

    ASSERT_TRUE(view.LoadPage("pub.htm"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.InsertAtFirstTd(clean);
    view.ScrollTo(0, 10000000);
    // Laid out and drawn; the test's time limit stands for the hang this used to be.
    view.repaint();
    EXPECT_TRUE(view.CellText().contains("deep"));
    EXPECT_LE(TableDepth(view.document()->rootFrame()), tagFragmentBudget::kMaxTableDepth);
}
