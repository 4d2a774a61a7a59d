#pragma once
// Received chat fragments are written by other members' clients, so nothing in them may make
// this client run or fetch anything. What a chat line needs (fonts, the name anchors, line
// breaks, simple layout, pictures from our own picture folders) is kept byte for byte; scripts,
// event attributes, style sheets, frames, embedded objects, links that go anywhere and
// pictures from anywhere else are taken out.

#include <QString>

// programFolder: picture references to img/face, img/stamp, img/gift and img/enter under any
// folder are pointed at these folders under programFolder.
QString SanitizeChatFragment(const QString& html, const QString& programFolder);
