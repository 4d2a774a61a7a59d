#pragma once
// Received chat fragments are written by other members' clients, so nothing in them may make
// this client run or fetch anything, nor cost the chat view more than a moment. What a chat
// line needs (fonts, the name anchors, line breaks, simple layout, pictures from our own picture
// folders) is kept; scripts, event attributes, style sheets, frames, embedded objects, links
// that go anywhere and pictures from anywhere else are taken out.
//
// Every kept tag is written anew from the parsed element: its name, then each attribute the
// element may carry whose value passed its check, written once and quoted. Nothing of the
// source text of a tag is copied, so a second attribute of the same name, odd quoting or a
// spelling the view reads differently from the parser cannot carry anything through.

#include <QString>

// What one received fragment may spend. Past the budget for markup the rest of the fragment
// is shown as text. The view lays a table out once for each table around it, so its cost
// doubles with every level of nesting; other markup costs in proportion to the tags, and text
// in proportion to its length, so what is shown stops after a chat line's worth of characters
// with an ellipsis.
struct tagFragmentBudget {
    static constexpr int kMaxTags = 64;
    static constexpr int kMaxDepth = 12;
    static constexpr int kMaxTableDepth = 2;
    static constexpr int kMaxMarkupBytes = 8192;  // of UTF-8; what follows is text
    static constexpr int kMaxCharacters = 2000;   // of text shown
};

// programFolder: picture references to img/face, img/stamp, img/gift and img/enter under any
// folder are pointed at these folders under programFolder.
QString SanitizeChatFragment(const QString& html, const QString& programFolder);

struct tagCleanLine {
    QString html;
    // The line began with a member link, now speakerLink.
    bool speakerShown = false;
};
// A chat line from another member: cleaned as above, and its member links settled by the
// sender the packet names. When a member link comes before any visible text it becomes
// speakerLink (our own markup for the sender, written as it stands); every other member link
// is shown as its text only.
tagCleanLine SanitizeChatLine(const QString& html, const QString& programFolder,
                              const QString& speakerLink);
