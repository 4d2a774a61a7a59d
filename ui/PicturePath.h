#pragma once
// Picture addresses in chat lines are written the way the system writes them: the program
// folder followed by a path with backslashes ("<folder>\img\face\01.gif"), or a file URL
// ("file:///<folder>/img/gift/1001.gif"). These helpers turn them into local paths and rewrite
// a fragment's pictures so a Qt document can load them.

#include <QString>

// The local path an address names, with forward slashes; empty when the address is not a
// local file (a web address, an empty text).
QString LocalPicturePath(const QString& address, const QString& programFolder);

// True when the path lies inside the folder (after resolving "..", without following links
// out of it) and names a picture file the client ships (gif, bmp, png, jpg).
bool IsAllowedPicture(const QString& path, const QString& programFolder);

// Rewrites every picture address (src of img) of a fragment to its local path, and the name
// links of chat lines (<a id="talkobject" tavoid=... tavoname=...>) to "tavo:member?..." links
// a view can report. Everything else stays as it is.
QString RewriteFragment(const QString& fragment, const QString& programFolder);

// The identifier and nickname a "tavo:member" link carries; false for other links.
bool ParseMemberLink(const QString& link, QString* id, QString* name);
