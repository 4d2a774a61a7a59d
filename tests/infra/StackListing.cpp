#include "StackListing.h"

#include <regex>
#include <sstream>

bool tagStackListing::Parse(const std::string& text, std::string* error) {
    static const std::regex kTimeLine(R"(\*{9} (\d\d-\d\d \d\d:\d\d:\d\d))");
    static const std::regex kSourceLine(R"(\[Source Line : (\d+)\])");
    stamp.clear();
    frames.clear();
    std::istringstream lines(text);
    std::string line;
    std::smatch match;
    if (!std::getline(lines, line) || !std::regex_match(line, match, kTimeLine)) {
        *error = "first line: " + line;
        return false;
    }
    stamp = match[1];
    while (std::getline(lines, line)) {
        if (line.rfind("Function : ", 0) == 0) {
            tagListedFrame frame;
            frame.found = true;
            frame.name = line.substr(11);
            frames.push_back(frame);
        } else if (line == "SymFromAdd failed!") {
            frames.push_back({});
        } else if (line.rfind("[Source File : ", 0) == 0 && line.back() == ']' && !frames.empty() &&
                   !frames.back().hasLine) {
            std::string lineNumber;
            if (!std::getline(lines, lineNumber) ||
                !std::regex_match(lineNumber, match, kSourceLine)) {
                *error = "a source file without its line: " + line;
                return false;
            }
            frames.back().hasLine = true;
            frames.back().file = line.substr(15, line.size() - 16);
            frames.back().line = unsigned(std::stoul(match[1]));
        } else {
            *error = "stray line: " + line;
            return false;
        }
    }
    return true;
}

int tagStackListing::Find(const std::string& part) const {
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].found && frames[i].name.find(part) != std::string::npos) {
            return int(i);
        }
    }
    return -1;
}
