#include "protocol/LoginCipher.h"

#include "platform/CodePage.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/mars.h>
#include <cryptopp/md5.h>
#include <cryptopp/modes.h>

namespace {

constexpr unsigned char kKey[kLoginCipherKeySize] = {
    0x54, 0x61, 0x76, 0x6F, 0x21, 0x4C, 0x6F, 0x67, 0x69, 0x6E, 0x2D, 0x4B,
    0x65, 0x79, 0x3A, 0x9D, 0x27, 0xC3, 0x58, 0xE1, 0x0B, 0x6A, 0xF4, 0x3E,
};

}  // namespace

const unsigned char* LoginCipherKey() {
    return kKey;
}

QByteArray EncipherCredentials(const QByteArray& plain) {
    QByteArray padded = plain;
    const int rest = static_cast<int>(padded.size() % kLoginCipherBlock);
    if (rest != 0) {
        padded.append(kLoginCipherBlock - rest, '\0');
    }
    if (padded.isEmpty()) {
        return padded;
    }
    CryptoPP::ECB_Mode<CryptoPP::MARS>::Encryption cipher(kKey, kLoginCipherKeySize);
    QByteArray out(padded.size(), '\0');
    cipher.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()),
                       reinterpret_cast<const CryptoPP::byte*>(padded.constData()),
                       static_cast<size_t>(padded.size()));
    return out;
}

QByteArray DecipherCredentials(const QByteArray& block) {
    if (block.isEmpty() || block.size() % kLoginCipherBlock != 0) {
        return QByteArray();
    }
    CryptoPP::ECB_Mode<CryptoPP::MARS>::Decryption cipher(kKey, kLoginCipherKeySize);
    QByteArray out(block.size(), '\0');
    cipher.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()),
                       reinterpret_cast<const CryptoPP::byte*>(block.constData()),
                       static_cast<size_t>(block.size()));
    return out;
}

QString PasswordDigest(const QString& password) {
    const QByteArray bytes = ToAnsi(password);
    CryptoPP::Weak::MD5 md5;
    CryptoPP::byte digest[CryptoPP::Weak::MD5::DIGESTSIZE];
    md5.CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(bytes.constData()),
                        static_cast<size_t>(bytes.size()));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex().toUpper());
}
