#pragma once
// The login credential block and the password digest, shared by the client and the reference
// service. The credential text ("user password visitor") travels enciphered with MARS in ECB
// mode under one fixed 192-bit key both ends hold; the text's bytes are filled with zero bytes
// up to the next multiple of 16, and nothing is added when the length already is one.

#include <QByteArray>
#include <QString>

constexpr int kLoginCipherBlock = 16;
constexpr int kLoginCipherKeySize = 24;

// The shared key. Kept here and only here.
const unsigned char* LoginCipherKey();

QByteArray EncipherCredentials(const QByteArray& plain);
// Empty when the block is empty or not a whole number of cipher blocks.
QByteArray DecipherCredentials(const QByteArray& block);
// MD5 of the password's ANSI bytes as 32 upper-case hexadecimal digits.
QString PasswordDigest(const QString& password);
