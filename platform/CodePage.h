#pragma once
// Text on the wire travels in the sender's ANSI code page: GBK for the Chinese edition, Big5
// for Hong Kong, 1252 for English. The code page follows the Language setting and is one
// process-wide choice.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

enum : int { CP_GBK = 936, CP_BIG5 = 950, CP_1252 = 1252, CP_UTF8 = 65001 };

// The code page Language selects ("CHINESE", "HONGKONG", "ENGLISG"; compared in upper case).
int CodePageForLanguage(const QString& language);

void SetAnsiCodePage(int codePage);
int AnsiCodePage();

// Characters the code page lacks become its default character '?'.
QByteArray EncodeCodePage(const QString& text, int codePage);
QString DecodeCodePage(QByteArrayView bytes, int codePage);

inline QByteArray ToAnsi(const QString& text) {
    return EncodeCodePage(text, AnsiCodePage());
}
inline QString FromAnsi(QByteArrayView bytes) {
    return DecodeCodePage(bytes, AnsiCodePage());
}

// The code page for a charset name a document declares ("gb2312", "GBK", "big5", "utf-8"...);
// 0 when unknown.
int CodePageForCharset(QByteArrayView charset);
