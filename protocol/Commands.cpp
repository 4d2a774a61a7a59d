#include "protocol/Commands.h"

namespace {

constexpr tagCommandInfo kCommands[] = {
#define TAVO_COMMAND_INFO(name, code, feature) {code, #name, EFeature::feature},
    TAVO_COMMANDS(TAVO_COMMAND_INFO)
#undef TAVO_COMMAND_INFO
};

// A code belongs to one feature; a duplicate would make dispatch ambiguous.
constexpr bool CodesAreUnique() {
    constexpr int n = sizeof kCommands / sizeof kCommands[0];
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (kCommands[i].code == kCommands[j].code) {
                return false;
            }
        }
    }
    return true;
}
static_assert(CodesAreUnique(), "a command code appears twice in the table");

}  // namespace

const tagCommandInfo* CommandTable(int* count) {
    *count = static_cast<int>(sizeof kCommands / sizeof kCommands[0]);
    return kCommands;
}

const tagCommandInfo* FindCommand(short code) {
    for (const auto& c : kCommands) {
        if (c.code == code) {
            return &c;
        }
    }
    return nullptr;
}
