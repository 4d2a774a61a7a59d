#pragma once
// Reads a debug.log back, refusing any line that is not one of the listing's own forms.

#include <string>
#include <vector>

struct tagListedFrame {
    bool found = false;  // "Function : name" rather than "SymFromAdd failed!"
    std::string name;
    bool hasLine = false;
    std::string file;
    unsigned line = 0;
};

struct tagStackListing {
    std::string stamp;  // "MM-DD hh:mm:ss" from the first line
    std::vector<tagListedFrame> frames;

    // Returns false with the offending line in *error.
    bool Parse(const std::string& text, std::string* error);
    // The first frame whose name contains part, or -1.
    int Find(const std::string& part) const;
};
