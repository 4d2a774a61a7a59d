// Directory documents: both layouts, the edition-10 element names, cutting room names to the
// column by drawn width, and pages that are empty, broken or in another encoding — parsed on
// their own and loaded by the hall from a real web server.

#include "hall/Directory.h"
#include "platform/CodePage.h"
#include "platform/WebDocument.h"
#include "tests/hall/HallFixture.h"

using namespace tavotest;

namespace {

const QString kAreas = QStringLiteral(
    "<List><Area count=\"3\"><Item id=\"11\">音乐</Item><Item id=\"12\"></Item><Item "
    "id=\"13\">聊天</Item></Area>"
    "<Favor count=\"1\"><Item id=\"21\">收藏</Item></Favor>"
    "<Region count=\"1\"><Item id=\"31\">北京</Item></Region></List>");

QString Names(const std::vector<tagAreaItem>& items) {
    QStringList names;
    for (const auto& item : items) {
        names << QStringLiteral("%1:%2").arg(item.id).arg(item.name);
    }
    return names.join(QLatin1Char(' '));
}

TEST(Directory, AreaLayoutReadsTheEditionsElements) {
    std::vector<tagAreaItem> items;
    ASSERT_TRUE(ParseAreaDocument(kAreas, AreaElementName(1, EDITION_20), items));
    EXPECT_EQ(Names(items), "11:音乐 13:聊天");  // the item without text is skipped
    // Edition 10's second and third lists are the favourites and the regions.
    ASSERT_TRUE(ParseAreaDocument(kAreas, AreaElementName(2, EDITION_10), items));
    EXPECT_EQ(Names(items), "31:北京");
    ASSERT_TRUE(ParseAreaDocument(kAreas, AreaElementName(1, EDITION_10), items));
    EXPECT_EQ(Names(items), "21:收藏");
}

TEST(Directory, BrokenOrEmptyPagesGiveNoEntries) {
    const QStringList bad = {
        QString(),
        "<html><body>404",  // not well-formed
        QStringLiteral(
            "<Room><Item id=\"1\">好</Item><Item id=\"2\">坏</Room>"),  // broken after an item
    };
    for (const QString& text : bad) {
        SCOPED_TRACE(text.toStdString());
        std::vector<tagRoomItem> rooms{{1, "old", {}, {}}};
        EXPECT_FALSE(ParseRoomDocument(text, rooms));
        EXPECT_TRUE(rooms.empty());
        std::vector<tagAreaItem> areas{{1, "old"}};
        EXPECT_FALSE(ParseAreaDocument(text, "Area", areas));
        EXPECT_TRUE(areas.empty());
    }
    // Well-formed but odd: unknown attributes, a missing id, nested markup in a name.
    std::vector<tagRoomItem> rooms;
    ASSERT_TRUE(
        ParseRoomDocument(QStringLiteral("<X><Room><Item id=\"x\" foo=\"1\">A<b>B</b></Item>"
                                         "<Other>skip</Other></Room></X>"),
                          rooms));
    ASSERT_EQ(rooms.size(), 1u);
    EXPECT_EQ(rooms[0].room, 0);
    EXPECT_EQ(rooms[0].name, "AB");
}

TEST(Directory, RoomNamesAreCutToTheColumnByDrawnWidth) {
    // 7 per ASCII character, 14 per other character, as the recording view measures.
    CRecordingView view;
    const TextWidthFn width = [&](const QString& t) { return view.TextWidth(t); };
    EXPECT_EQ(CutToWidth("短名", "(满)", 140, width), "短名");
    // 140 - width("(满)") = 140 - 28 = 112: eight wide characters fit.
    EXPECT_EQ(CutToWidth("一二三四五六七八九十", "(满)", 140, width), "一二三四五六七八");
    // A state wider than the column leaves no room for the name at all.
    EXPECT_EQ(CutToWidth("名字", "很长很长的状态文字", 50, width), QString());
    // A character outside the basic plane is never split.
    const QString emoji = QString::fromUcs4(U"ab\U0001F600cd");
    const QString cut = CutToWidth(emoji, QString(), 7 * 2 + 14 * 2 - 1, width);
    EXPECT_EQ(cut, "ab");
    EXPECT_EQ(CutToLength("名", QString(30, QLatin1Char('x')), 20), QString());
}

TEST(Directory, DeclaredEncodingsAreHonoured) {
    const QString simplified =
        "<Room><Item id=\"1\" state=\"(满)\" isp=\"电信\">音乐之家</Item></Room>";
    const QString traditional =
        "<Room><Item id=\"1\" state=\"(滿)\" isp=\"電信\">音樂之家</Item></Room>";
    struct Case {
        const char* charset;
        int codePage;
        QString text;
        QString name;
    };
    const std::vector<Case> cases = {{"gb2312", CP_GBK, simplified, "音乐之家"},
                                     {"Big5", CP_BIG5, traditional, "音樂之家"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset);
        const QByteArray bytes = QByteArray("<?xml version=\"1.0\" encoding=\"") + c.charset +
                                 "\"?>\n" + EncodeCodePage(c.text, c.codePage);
        std::vector<tagRoomItem> rooms;
        ASSERT_TRUE(ParseRoomDocument(DecodeWebText(bytes), rooms));
        ASSERT_EQ(rooms.size(), 1u);
        EXPECT_EQ(rooms[0].name, c.name);
    }
    const QString text = simplified;
    // The transport's charset outranks the declaration; a byte-order mark outranks both.
    const QByteArray gbk =
        QByteArray("<?xml version=\"1.0\" encoding=\"Big5\"?>") + EncodeCodePage(text, CP_GBK);
    EXPECT_TRUE(DecodeWebText(gbk, "gbk").contains("音乐之家"));
    const QByteArray bom = QByteArray("\xEF\xBB\xBF") +
                           QByteArray("<?xml version=\"1.0\" encoding=\"GBK\"?>") + text.toUtf8();
    EXPECT_TRUE(DecodeWebText(bom).contains("音乐之家"));
    EXPECT_TRUE(DecodeWebText(text.toUtf8()).contains("音乐之家"));
}

class HallDirectory : public HallFixture {
protected:
    void SetUp() override {
        HallFixture::SetUp();
        state.settings.urlAreaRoomList = web.Url("/list/Room.xml");
        state.settings.areaDocuments = {web.Url("/list/Music.XML")};
        web.Put("/list/Music.XML", kAreas.toUtf8());
        const QString rooms = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"GBK\"?><Rooms><Room count=\"3\">"
            "<Item id=\"101\" state=\"(满)\" isp=\"电信\">一二三四五六七八九十</Item>"
            "<Item id=\"102\" state=\"\" isp=\"网通\"></Item>"
            "<Item id=\"103\" state=\"[热]\" isp=\"\">短名</Item></Room></Rooms>");
        web.Put("/list/11.XML", EncodeCodePage(rooms, CP_GBK));
    }
};

TEST_F(HallDirectory, AreaAndRoomListsComeFromTheWeb) {
    state.account.loginName = "Alice";
    state.userRooms.first = {103};
    RunHall([&] {
        EXPECT_TRUE(view.listWaitVisible);
        EXPECT_EQ(view.listWaitTitle, "取列表信息");
        // The lists fill as soon as their pages are complete, with no time passing on the
        // waiting window's 15-second look.
        ASSERT_TRUE(WaitUntil([&] { return view.areas.count(0) == 1; }));
        EXPECT_EQ(web.Hits("/list/Music.XML"), 1);
        EXPECT_FALSE(view.listWaitVisible);
        ASSERT_EQ(view.areas[0].size(), 2u);
        EXPECT_EQ(view.areas[0][1].shown, "聊天");
        EXPECT_EQ(view.areas[0][1].data, 13);

        hall->OnSelectArea(0, 0);  // 音乐, id 11
        ASSERT_TRUE(WaitUntil([&] { return !view.rooms.empty(); }));
        EXPECT_EQ(web.Hits("/list/11.XML"), 1);
        ASSERT_EQ(view.rooms.size(), 2u);  // the room without a name is skipped
        EXPECT_EQ(view.rooms[0].shown, "一二三四五六七八(满)");
        EXPECT_EQ(view.rooms[0].text, "一二三四五六七八九十");
        EXPECT_EQ(view.rooms[0].data, 101);
        EXPECT_EQ(view.rooms[1].shown, "短名[热]");
        EXPECT_EQ(view.marks, (std::map<int, EListMark>{{1, EListMark::First}}));
    });
}

}  // namespace
