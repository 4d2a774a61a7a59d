#include "platform/crash/StackLog.h"

CStackLog::~CStackLog() {
    Close();
}

std::string CStackLog::TimeLine(const tm& localTime) {
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%2.2d-%2.2d %2.2d:%2.2d:%2.2d", localTime.tm_mon + 1,
             localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return std::string("********* ") + stamp + "\n";
}

std::string CStackLog::FrameLines(const tagSymbol& symbol) {
    std::string text;
    if (symbol.found) {
        text = "Function : " + symbol.name.substr(0, kMaxName) + "\n";
    } else {
        text = "SymFromAdd failed!\n";
    }
    if (symbol.hasLine) {
        text += "[Source File : " + symbol.file + "]\n";
        text += "[Source Line : " + std::to_string(symbol.line) + "]\n";
    }
    return text;
}

int CStackLog::Open(const std::string& path, const tm& localTime) {
    Close();
    m_file = fopen(path.c_str(), "wbe");
    if (!m_file) {
        return 0;
    }
    const std::string line = TimeLine(localTime);
    fwrite(line.data(), 1, line.size(), m_file);
    return 1;
}

void CStackLog::AddFrame(const tagSymbol& symbol) {
    if (!m_file) {
        return;
    }
    const std::string lines = FrameLines(symbol);
    fwrite(lines.data(), 1, lines.size(), m_file);
    fflush(m_file);
}

void CStackLog::Close() {
    if (m_file) {
        fclose(m_file);
        m_file = nullptr;
    }
}
