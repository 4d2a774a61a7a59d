#pragma once
// The string table: every text the user sees, by number, in a Simplified-Chinese and a
// Traditional-Chinese set. The Language setting chooses the set ("HONGKONG" the traditional
// one). The tables are compiled in from res/strings and res/strings-hk.

#include <QString>

#include <vector>

QString LoadString(int id);
// "HONGKONG" selects the traditional set; every other value the simplified one.
void SetStringLanguage(const QString& language);

// The failure text of a refusal code: codes 128 to 167 have their own text, every other code
// is "未知错误" (168). One function for the hall and the room.
QString RefusalText(int code);

// For tests of the tables themselves.
struct tagStringEntry {
    int id;
    QString text;
    QString file;
};
// Every entry of a set, in file order; duplicates included.
std::vector<tagStringEntry> StringTableEntries(bool traditional);
