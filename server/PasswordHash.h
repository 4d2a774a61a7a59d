#pragma once
// How the service keeps passwords: salted scrypt, written as
// "$scrypt$ln=<log2 N>,r=8,p=1$<salt>$<hash>" with salt and hash in base64. The wire brings the
// password itself (enciphered), so nothing else is needed to check a login. Rows written
// before hold the bare MD5 digest of the password (32 hexadecimal digits); they still let
// their password in and are hashed anew at the next good login.

#include <QString>

// log2 of scrypt's N: 16 MB of memory and about a tenth of a second for one check here.
constexpr int kPasswordCost = 14;
constexpr int kMinPasswordCost = 1;
constexpr int kMaxPasswordCost = 20;

// Empty when the cost is out of range.
QString HashPassword(const QString& password, int cost = kPasswordCost);

enum class EPasswordMatch {
    Wrong,
    Right,
    // Right, but kept as an MD5 digest or with a lower cost than asked: hash it again.
    RightButWeak,
};
// Compares in constant time; a stored text of neither kind matches nothing.
EPasswordMatch MatchPassword(const QString& stored, const QString& password,
                             int cost = kPasswordCost);
