#include "protocol/Commands.h"

namespace {

enum ERow : int {
#define TAVO_COMMAND_ROW(name, ...) ROW_##name,
    TAVO_COMMANDS(TAVO_COMMAND_ROW)
#undef TAVO_COMMAND_ROW
};

constexpr int RowOf(short code) {
    // The compiler turns the cases into a jump table; a duplicate code does not compile.
    switch (code) {
#define TAVO_COMMAND_CASE(name, code, ...) \
    case code:                             \
        return ROW_##name;
        TAVO_COMMANDS(TAVO_COMMAND_CASE)
#undef TAVO_COMMAND_CASE
        default:
            return -1;
    }
}

const tagCommandInfo* Lookup(short code) {
    const int row = RowOf(code);
    return row < 0 ? nullptr : &kCommandTable[row];
}

// Every answer names a row of its own, and the replies the room's generic reply takes are the
// request's code plus one, as the room's numbering has it.
constexpr bool RepliesAreRows() {
    for (const auto& c : kCommandTable) {
        if (c.reply != 0 && RowOf(c.reply) < 0) {
            return false;
        }
        if (c.Has(CF_GENERIC) && c.reply != c.code + 1) {
            return false;
        }
        if ((c.Has(CF_CONFIG_KEYS) || c.Has(CF_LONG_WAIT) || c.Has(CF_QUIET) ||
             c.Has(CF_UNTRACKED)) &&
            c.Has(CF_DIALOG_REPLY)) {
            return false;  // request facts on a reply row
        }
    }
    return true;
}
static_assert(RepliesAreRows(),
              "a reply names no row, or a generic reply is not the code plus one");

}  // namespace

const tagCommandInfo* FindCommand(short code) {
    return Lookup(code);
}

short ReplyOf(short request) {
    const tagCommandInfo* c = Lookup(request);
    return c ? c->reply : short{0};
}

bool CommandHas(short code, ECommandFlag flag) {
    const tagCommandInfo* c = Lookup(code);
    return c && c->Has(flag);
}
