#include "protocol/LoginCipher.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(LoginCipher, PadsToWholeBlocksAndRoundTrips) {
    EXPECT_EQ(EncipherCredentials(QByteArray(16, 'a')).size(), 16);
    EXPECT_EQ(EncipherCredentials(QByteArray(17, 'a')).size(), 32);
    const QByteArray text = ToAnsi("Alice secret 游客123");
    const QByteArray block = EncipherCredentials(text);
    EXPECT_NE(block.left(text.size()), text);
    QByteArray back = DecipherCredentials(block);
    ASSERT_EQ(back.size(), block.size());
    EXPECT_EQ(back.left(text.size()), text);
    EXPECT_EQ(back.mid(text.size()), QByteArray(block.size() - text.size(), '\0'));
    EXPECT_TRUE(DecipherCredentials(block.left(15)).isEmpty());
    // Electronic codebook: equal blocks encipher alike.
    const QByteArray twice = EncipherCredentials(QByteArray(16, 'x') + QByteArray(16, 'x'));
    EXPECT_EQ(twice.left(16), twice.mid(16));
}

TEST(LoginCipher, DigestIsUpperCaseMd5OfAnsiBytes) {
    EXPECT_EQ(PasswordDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(PasswordDigest(QString()), "D41D8CD98F00B204E9800998ECF8427E");
}

}  // namespace
