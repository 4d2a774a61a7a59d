#include "platform/crash/CrashRequest.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

bool ParseNumber(std::string_view text, uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseSigned(std::string_view text, int64_t& value) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    if (!ParseNumber(text, magnitude) || magnitude > uint64_t(INT64_MAX)) {
        return false;
    }
    value = negative ? -int64_t(magnitude) : int64_t(magnitude);
    return true;
}

void Fail(const char** error, const char* reason) {
    if (error) {
        *error = reason;
    }
}

}  // namespace

int ParseCrashRequest(int argc, const char* const* argv, tagCrashRequest& request,
                      const char** error) {
    enum {
        kPidBit = 1,
        kTidBit = 2,
        kSignalBit = 4,
        kCodeBit = 8,
        kAddressBit = 16,
        kContextBit = 32,
        kTimeBit = 64,
        kAll = 127
    };
    tagCrashRequest parsed;
    unsigned seen = 0;
    for (int i = 1; i < argc; i += 2) {
        const std::string_view name = argv[i] ? argv[i] : "";
        if (i + 1 >= argc || !argv[i + 1]) {
            Fail(error, "an option has no value");
            return -1;
        }
        const std::string_view value = argv[i + 1];
        unsigned bit = 0;
        int64_t number = 0;
        uint64_t address = 0;
        bool ok = false;
        if (name == crashopt::kPid || name == crashopt::kTid || name == crashopt::kSignal) {
            ok = ParseSigned(value, number) && number > 0 && number <= INT32_MAX;
            if (name == crashopt::kPid) {
                bit = kPidBit;
                parsed.pid = pid_t(number);
            } else if (name == crashopt::kTid) {
                bit = kTidBit;
                parsed.tid = pid_t(number);
            } else {
                bit = kSignalBit;
                ok = ok && number < 65;
                parsed.signo = int(number);
            }
        } else if (name == crashopt::kCode) {
            bit = kCodeBit;
            ok = ParseSigned(value, number) && number >= INT32_MIN && number <= INT32_MAX;
            parsed.code = int(number);
        } else if (name == crashopt::kAddress || name == crashopt::kContext) {
            ok = ParseNumber(value, address);
            bit = name == crashopt::kAddress ? kAddressBit : kContextBit;
            (bit == kAddressBit ? parsed.faultAddr : parsed.contextAddr) = address;
        } else if (name == crashopt::kTime) {
            bit = kTimeBit;
            ok = ParseSigned(value, number) && number >= 0;
            parsed.crashTime = time_t(number);
        } else {
            Fail(error, "unknown option");
            return -1;
        }
        if (!ok) {
            Fail(error, "a value is out of range or not a number");
            return -1;
        }
        if (seen & bit) {
            Fail(error, "an option is given twice");
            return -1;
        }
        seen |= bit;
    }
    if (seen != kAll) {
        Fail(error, "an option is missing");
        return -1;
    }
    request = parsed;
    return 0;
}
