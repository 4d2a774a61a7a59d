#include "protocol/LoginCipher.h"

#include "platform/CodePage.h"
#include "tests/support/TestSupport.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/mars.h>
#include <cryptopp/modes.h>

#include <gtest/gtest.h>

#include <QFile>

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

// The cipher is the library's MARS: check the library against its published vectors, so a
// change of library is noticed before logins stop working.
TEST(LoginCipher, LibraryMatchesPublishedVector) {
    QFile vectors("/usr/share/crypto++/TestVectors/mars.txt");
    TAVO_NEED(vectors.open(QIODevice::ReadOnly), "libcrypto++-utils' test vectors");
    // The first 192-bit key of the file.
    const QList<QByteArray> lines = vectors.readAll().split('\n');
    QByteArray key, plain, cipher;
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        auto value = [&](const char* name) {
            return QByteArray::fromHex(line.mid(int(strlen(name))).trimmed());
        };
        if (line.startsWith("Key:")) {
            key = value("Key:");
            plain.clear();
            cipher.clear();
        } else if (line.startsWith("Plaintext:")) {
            plain = value("Plaintext:");
        } else if (line.startsWith("Ciphertext:")) {
            cipher = value("Ciphertext:");
            if (key.size() == 24 && plain.size() == 16) {
                break;
            }
        }
    }
    ASSERT_EQ(key.size(), 24);
    CryptoPP::ECB_Mode<CryptoPP::MARS>::Encryption e(
        reinterpret_cast<const CryptoPP::byte*>(key.constData()), 24);
    QByteArray out(16, '\0');
    e.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()),
                  reinterpret_cast<const CryptoPP::byte*>(plain.constData()), 16);
    EXPECT_EQ(out.toHex(), cipher.toHex());
}

TEST(LoginCipher, DigestIsUpperCaseMd5OfAnsiBytes) {
    EXPECT_EQ(PasswordDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(PasswordDigest(QString()), "D41D8CD98F00B204E9800998ECF8427E");
}

}  // namespace
