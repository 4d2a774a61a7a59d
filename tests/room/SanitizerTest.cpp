// What a chat fragment from another member keeps and loses.

#include "room/ChatSanitizer.h"

#include <gtest/gtest.h>

namespace {
QString Clean(const QString& html) {
    return SanitizeChatFragment(html, QStringLiteral("/opt/tavo"));
}
}  // namespace

TEST(ChatSanitizer, KeepsChatLinesByteForByte) {
    const QString lines[] = {
        "<font color=#0000ff><a id=\"talkobject\" tavoid=\"amy\" tavoname=\"艾米\" href=\"\" "
        "style=\"text-decoration:none\">艾米</a></font>说:<font  "
        "style=\"font-family:'宋体';font-size:10pt;"
        "color:#ff0000;font-weight:bold;\">你好 &lt;b&gt; |#01</font><br>",
        "<div><font color=red>系统消息: 礼物</font></div>",
        "<img border=0 src=\"/opt/tavo/img/stamp/3.bmp\">名字",
        "纯文本, 没有标签",
    };
    for (const QString& line : lines) {
        EXPECT_EQ(Clean(line), line);
    }
}

TEST(ChatSanitizer, TakesOutWhatRunsOrFetches) {
    struct Case {
        QString in;
        QString out;
    };
    const Case cases[] = {
        {"a<script>alert(1)</script>b", "ab"},
        {"<img src=x onerror=alert(1)>", "<img>"},
        {"<font onmouseover=\"x()\" color=red>t</font>", "<font color=red>t</font>"},
        {"<a href=\"http://evil.example/\">t</a>", "<a>t</a>"},
        {"<a href=\"javascript:x()\">t</a>", "<a>t</a>"},
        {"<iframe src=\"http://evil.example\"></iframe>t", "t"},
        {"<style>body{background:url(http://evil.example)}</style>t", "t"},
        {"<link rel=stylesheet href=http://evil.example/s.css>t", "t"},
        {"<object data=x></object><embed src=y>t", "t"},
        {"<span style=\"background:url(http://evil.example/p.png)\">t</span>", "<span>t</span>"},
        {"<span style=\"width:expression(alert(1))\">t</span>", "<span>t</span>"},
        {"<img src=\"http://evil.example/img/face/01.gif\">", "<img>"},
        {"<img src=\"/etc/passwd\">", "<img>"},
        {"<img src=\"/home/x/../img/face/01.gif\">", "<img>"},
        {"<!--[if IE]><script>x()</script><![endif]-->t", "t"},
        {"<svg onload=x()><circle/></svg>t", "t"},
        {"<body onload=x()>t</body>", "t"},
        {"<meta http-equiv=refresh content=0;url=http://evil.example>t", "t"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Clean(c.in), c.out) << c.in.toStdString();
    }
}

TEST(ChatSanitizer, PointsOurPicturesAtOurOwnFolder) {
    EXPECT_EQ(Clean("<IMG src=\"C:\\Program Files\\Tavo\\img\\face\\07.gif\">"),
              "<IMG src=\"/opt/tavo/img/face/07.gif\">");
    EXPECT_EQ(Clean("<img src='file:///home/amy/tavo/img/gift/1001.gif'/>"),
              "<img src=\"file:///opt/tavo/img/gift/1001.gif\"/>");
    EXPECT_EQ(Clean("<IMG src=\"/srv/tavo/img/face/2/05.gif\">"),
              "<IMG src=\"/opt/tavo/img/face/2/05.gif\">");
}

TEST(ChatSanitizer, SurvivesBrokenMarkup) {
    const QString broken[] = {"<",
                              "<<<>>>",
                              "<font",
                              "<a href=\"",
                              "</font></font></a>",
                              "<td>x</tr>",
                              QString(QChar(0)) + "<b>",
                              "<img src=\"/opt/tavo/img/face/01.gif"};
    for (const QString& b : broken) {
        const QString out = Clean(b);
        EXPECT_FALSE(out.contains("<script"));
        EXPECT_FALSE(out.contains("onerror"));
    }
    EXPECT_EQ(Clean("1 < 2 > 0"), "1 &lt; 2 &gt; 0");
}
