#include "platform/crash/ProcessMaps.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace {

bool TakeHex(std::string_view& text, uint64_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end == text.data()) {
        return false;
    }
    text.remove_prefix(size_t(end - text.data()));
    return true;
}

bool TakeDecimal(std::string_view& text, uint64_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end == text.data()) {
        return false;
    }
    text.remove_prefix(size_t(end - text.data()));
    return true;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text[0] != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

void SkipBlanks(std::string_view& text) {
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        text.remove_prefix(1);
    }
}

// "start-end perms offset major:minor inode   path"
bool ParseLine(std::string_view line, tagMapRegion& region) {
    uint64_t devMajor = 0;
    uint64_t devMinor = 0;
    if (!TakeHex(line, region.start) || !TakeChar(line, '-') || !TakeHex(line, region.end) ||
        region.end <= region.start || !TakeChar(line, ' ') || line.size() < 4) {
        return false;
    }
    region.readable = line[0] == 'r';
    region.writable = line[1] == 'w';
    region.executable = line[2] == 'x';
    line.remove_prefix(4);
    if (!TakeChar(line, ' ') || !TakeHex(line, region.offset) || !TakeChar(line, ' ') ||
        !TakeHex(line, devMajor) || !TakeChar(line, ':') || !TakeHex(line, devMinor) ||
        !TakeChar(line, ' ') || !TakeDecimal(line, region.inode)) {
        return false;
    }
    SkipBlanks(line);
    region.path.assign(line);
    return true;
}

}  // namespace

int CProcessMaps::Load(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/maps", std::ios::binary);
    if (!file) {
        return -1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    Parse(text.str());
    return 0;
}

void CProcessMaps::Parse(std::string_view text) {
    m_text.assign(text);
    m_regions.clear();
    while (!text.empty()) {
        size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        tagMapRegion region;
        if (ParseLine(line, region)) {
            m_regions.push_back(std::move(region));
        }
    }
    std::sort(m_regions.begin(), m_regions.end(),
              [](const tagMapRegion& a, const tagMapRegion& b) { return a.start < b.start; });
}

const tagMapRegion* CProcessMaps::Find(uint64_t addr) const {
    auto it = std::upper_bound(m_regions.begin(), m_regions.end(), addr,
                               [](uint64_t a, const tagMapRegion& r) { return a < r.start; });
    if (it == m_regions.begin()) {
        return nullptr;
    }
    --it;
    return addr < it->end ? &*it : nullptr;
}

std::vector<tagModule> CProcessMaps::Modules(const std::function<bool(uint64_t)>& isImage) const {
    std::vector<tagModule> modules;
    for (size_t i = 0; i < m_regions.size(); ++i) {
        const tagMapRegion& first = m_regions[i];
        if (first.offset != 0 || first.inode == 0 || first.path.empty() || first.path[0] != '/') {
            continue;
        }
        uint64_t end = first.end;
        size_t j = i + 1;
        while (j < m_regions.size() && m_regions[j].path == first.path &&
               m_regions[j].inode == first.inode && m_regions[j].offset != 0) {
            end = m_regions[j].end;
            ++j;
        }
        if (isImage && !isImage(first.start)) {
            continue;
        }
        modules.push_back({first.start, end - first.start, first.path});
        i = j - 1;
    }
    return modules;
}
