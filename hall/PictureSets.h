#pragma once
// The local picture sets read at start: the chat faces, the member-list icons (display marks,
// levels 0 to 9, heads) and the entrance effects, each described by a "config.ini" or found by
// name in its folder under the program's "img" folder.

#include <QString>

struct tagPictureSets;

// Fills sets from <programFolder>/img. False when any set is missing or incomplete; what was
// found is kept either way.
bool LoadPictureSets(const QString& programFolder, tagPictureSets& sets);
