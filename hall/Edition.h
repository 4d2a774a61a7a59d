#pragma once
// The edition this copy of the client belongs to: named in "cfg.ini" beside the program, mapped
// by a fixed table to the edition code other code switches on. The name is also the profile
// name every setting lives under.

#include <QString>

struct tagEditionRow {
    const char* name;
    int code;
    const char* hallAddress;  // where its hall and server-information host are by default
    const char* updater;      // its own updater, or nullptr for the shared default
};

// The name in <folder>/cfg.ini, section "Version", value "name"; "TavoTavo" when absent.
QString ReadEditionName(const QString& programFolder);
// The table row of a name, or nullptr; a name outside the table is edition 20.
const tagEditionRow* FindEdition(const QString& name);
int EditionCode(const QString& name);
// The default hall address of an edition name.
QString DefaultHallAddress(const QString& name);
// The updater an edition writes to UpdateAppName at every start (editions 50 and 70); empty
// for the others.
QString EditionUpdater(int code);

constexpr const char* kDefaultEditionName = "TavoTavo";
constexpr int kUnknownEditionCode = 20;
