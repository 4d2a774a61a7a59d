// What a chat fragment from another member keeps and loses: the hostile lines of
// data/chat-lines.txt come out with nothing that runs, fetches or stalls the view, ordinary
// lines come out as our own clients wrote them, and a fragment past its budget shows the rest
// as text.

#include "room/ChatSanitizer.h"
#include "tests/room/ChatMarkupCheck.h"

#include <gtest/gtest.h>

namespace {

const QString kFolder = "/opt/tavo";

QString Clean(const QString& html) {
    return SanitizeChatFragment(html, kFolder);
}

}  // namespace

TEST(ChatSanitizer, HostileLinesComeOutHarmlessAndOrdinaryOnesAsWritten) {
    const std::vector<tagChatCase> cases =
        LoadChatCases(QStringLiteral(TAVO_TEST_DATA "/chat-lines.txt"));
    int kept = 0;
    int neutralised = 0;
    for (const tagChatCase& c : cases) {
        const QString out = Clean(c.input);
        const QStringList problems = ChatMarkupProblems(out, kFolder);
        EXPECT_TRUE(problems.isEmpty()) << "line " << c.line << " came out as " << out.toStdString()
                                        << "\n  " << problems.join("\n  ").toStdString();
        if (c.exact) {
            EXPECT_EQ(out.toStdString(), c.expected.toStdString()) << "line " << c.line;
        }
        if (problems.isEmpty() && (!c.exact || out == c.expected)) {
            ++(c.keep ? kept : neutralised);
        }
    }
    EXPECT_GE(static_cast<int>(cases.size()) - kept, 75) << "the hostile corpus shrank";
    EXPECT_GE(kept, 10);
    RecordProperty("kept", kept);
    RecordProperty("neutralised", neutralised);
}

TEST(ChatSanitizer, PastItsBudgetAFragmentShowsTheRestAsText) {
    using B = tagFragmentBudget;
    // Each table level doubles the view's layout: levels past the budget lose their markup,
    // never their text.
    QString tables;
    for (int i = 0; i < 24; ++i) {
        tables = QStringLiteral("<table><tr><td>%1</td></tr></table>").arg(tables.isEmpty() ? "deep" : tables);
    }
    const QString cleanTables = Clean(tables);
    EXPECT_EQ(cleanTables.count("<table>"), B::kMaxTableDepth);
    EXPECT_TRUE(cleanTables.contains("deep"));

    QString many;
    for (int i = 0; i < 200; ++i) {
        many += QStringLiteral("<b>%1</b>").arg(i);
    }
    const QString cleanMany = Clean(many);
    EXPECT_EQ(cleanMany.count("<b>"), B::kMaxTags);
    EXPECT_TRUE(cleanMany.endsWith("198199"));

    const QString divs = QString("<div>").repeated(40) + "x";
    EXPECT_EQ(Clean(divs).count("<div>"), B::kMaxDepth);

    // Past its bytes a line is no longer read as markup: the rest shows as it was written.
    const QString longLine = QString("<i></i>").repeated(B::kMaxMarkupBytes / 7 + 1) + "<b>x</b>";
    EXPECT_TRUE(Clean(longLine).endsWith("&lt;b&gt;x&lt;/b&gt;"));
    // Text is shown up to a chat line's worth.
    const QString longText = Clean(QString(3 * B::kMaxCharacters, 'x'));
    EXPECT_EQ(longText, QString(B::kMaxCharacters, 'x') + QChar(0x2026));

    for (const QString& out : {cleanTables, cleanMany, Clean(divs), Clean(longLine), longText}) {
        EXPECT_EQ(ChatMarkupProblems(out, kFolder).join('\n').toStdString(), "");
    }
}
