#include "server/PasswordHash.h"

#include "protocol/LoginCipher.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cryptopp/misc.h>
#include <cryptopp/scrypt.h>

#include <malloc.h>

namespace {

constexpr int kBlockSize = 8;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;

// The derived key, empty when scrypt refuses the parameters.
QByteArray Scrypt(const QString& password, const QByteArray& salt, int cost) {
    const QByteArray secret = password.toUtf8();
    QByteArray out(kHashBytes, '\0');
    try {
        CryptoPP::Scrypt scrypt;
        scrypt.DeriveKey(reinterpret_cast<CryptoPP::byte*>(out.data()), out.size(),
                         reinterpret_cast<const CryptoPP::byte*>(secret.constData()), secret.size(),
                         reinterpret_cast<const CryptoPP::byte*>(salt.constData()), salt.size(),
                         CryptoPP::word64(1) << cost, kBlockSize, 1);
    } catch (const CryptoPP::Exception&) {
        return QByteArray();
    }
    // The work area (16 MB at the usual cost) is freed by now; give it back to the system, or
    // the allocator keeps it for good after the first login.
    malloc_trim(0);
    return out;
}

bool SameBytes(const QByteArray& a, const QByteArray& b) {
    return a.size() == b.size() && !a.isEmpty() &&
           CryptoPP::VerifyBufsEqual(reinterpret_cast<const CryptoPP::byte*>(a.constData()),
                                     reinterpret_cast<const CryptoPP::byte*>(b.constData()),
                                     static_cast<size_t>(a.size()));
}

constexpr auto kBase64 = QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals;

}  // namespace

QString HashPassword(const QString& password, int cost) {
    if (cost < kMinPasswordCost || cost > kMaxPasswordCost) {
        return QString();
    }
    QByteArray salt(kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()),
                                          kSaltBytes / sizeof(quint32));
    const QByteArray hash = Scrypt(password, salt, cost);
    if (hash.isEmpty()) {
        return QString();
    }
    return QStringLiteral("$scrypt$ln=%1,r=%2,p=1$%3$%4")
        .arg(cost)
        .arg(kBlockSize)
        .arg(QString::fromLatin1(salt.toBase64(kBase64)),
             QString::fromLatin1(hash.toBase64(kBase64)));
}

EPasswordMatch MatchPassword(const QString& stored, const QString& password, int cost) {
    static const QRegularExpression kScrypt(QStringLiteral(
        "^\\$scrypt\\$ln=(\\d{1,2}),r=8,p=1\\$([A-Za-z0-9+/]+)\\$([A-Za-z0-9+/]+)$"));
    static const QRegularExpression kMd5(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    if (const auto m = kScrypt.match(stored); m.hasMatch()) {
        const int storedCost = m.captured(1).toInt();
        if (storedCost < kMinPasswordCost || storedCost > kMaxPasswordCost) {
            return EPasswordMatch::Wrong;
        }
        const QByteArray salt = QByteArray::fromBase64(m.captured(2).toLatin1(), kBase64);
        const QByteArray hash = QByteArray::fromBase64(m.captured(3).toLatin1(), kBase64);
        if (!SameBytes(Scrypt(password, salt, storedCost), hash)) {
            return EPasswordMatch::Wrong;
        }
        return storedCost < cost ? EPasswordMatch::RightButWeak : EPasswordMatch::Right;
    }
    if (kMd5.match(stored).hasMatch() &&
        SameBytes(PasswordDigest(password).toLatin1(), stored.toUpper().toLatin1())) {
        return EPasswordMatch::RightButWeak;
    }
    return EPasswordMatch::Wrong;
}
