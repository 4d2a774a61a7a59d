#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, ChosenByLanguageOrCharsetRoundTripsAndMissingCharactersBecomeOneQuestionMarkEach) {
    EXPECT_EQ(CodePageForLanguage("CHINESE"), CP_GBK);
    EXPECT_EQ(CodePageForLanguage("hongkong"), CP_BIG5);
    EXPECT_EQ(CodePageForLanguage("ENGLISG"), CP_1252);
    EXPECT_EQ(CodePageForLanguage("anything"), CP_GBK);
    // Declared charsets of documents.
    EXPECT_EQ(CodePageForCharset("GB2312"), CP_GBK);
    EXPECT_EQ(CodePageForCharset(" gbk "), CP_GBK);
    EXPECT_EQ(CodePageForCharset("Big5"), CP_BIG5);
    EXPECT_EQ(CodePageForCharset("UTF-8"), CP_UTF8);
    EXPECT_EQ(CodePageForCharset("ebcdic"), 0);

    // Round trips in each code page; a missing character becomes one question mark.
    EXPECT_EQ(EncodeCodePage("小明", CP_GBK).toHex(), QByteArray("d0a1c3f7"));
    EXPECT_EQ(DecodeCodePage(QByteArray::fromHex("d0a1c3f7"), CP_GBK), "小明");
    const QString traditional = "塔沃號";
    EXPECT_EQ(DecodeCodePage(EncodeCodePage(traditional, CP_BIG5), CP_BIG5), traditional);
    EXPECT_EQ(EncodeCodePage("café", CP_1252), QByteArray("caf\xe9"));
    EXPECT_EQ(EncodeCodePage("a中b", CP_1252), QByteArray("a?b"));
    EXPECT_EQ(EncodeCodePage("x\U0001F600y", CP_GBK), QByteArray("x?y"));
    // A simplified form Big5 lacks, between two characters it has.
    const QByteArray big5 = EncodeCodePage("塔简沃", CP_BIG5);
    EXPECT_EQ(big5.size(), 5);
    EXPECT_EQ(big5.at(2), '?');
}

}  // namespace
