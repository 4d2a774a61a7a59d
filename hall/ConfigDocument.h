#pragma once
// The server configuration document: an XML document whose SERVER, ABOUTLINK and SWITCH
// elements hold one value per child element. It refreshes the settings at every start.

#include <QString>
#include <QStringList>

#include <map>

class CProfileStore;
struct tagSettings;

struct tagConfigDocument {
    // Child element name → its text. A repeated SERVER, ABOUTLINK or SWITCH element is read in
    // turn, so the last one that names a value wins.
    std::map<QString, QString> server;
    std::map<QString, QString> aboutLink;
    std::map<QString, QString> switches;
    // ABOUTLINK/AREA_NAME in document order (of the last ABOUTLINK that lists any).
    QStringList areaNames;

    // SERVER/LASTVERSION as a number; 0 when absent or not a number.
    int LastVersion() const;
};

// False when the text is empty or not well-formed XML; out is then left empty.
bool ParseConfigDocument(const QString& text, tagConfigDocument& out);

// Writes the document's SERVER and ABOUTLINK values to their profile values (section "Main").
// A value the document does not name keeps what the profile had.
void WriteConfigToProfile(const tagConfigDocument& doc, CProfileStore& profile);

// The values only the document supplies, kept in memory: the newest version, the further host,
// the hall panels, the area documents, the switches and, in edition 70, its extra links.
void ApplyConfigExtras(const tagConfigDocument& doc, int edition, tagSettings& settings);

// The address of an area document: the folder part of the room-list address, "/", the name
// and ".XML".
QString AreaDocumentAddress(const QString& roomListAddress, const QString& areaName);
