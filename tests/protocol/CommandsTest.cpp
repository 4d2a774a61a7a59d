#include "protocol/Commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Commands, TableIsConsistentWithItsConstants) {
    int count = 0;
    const tagCommandInfo* table = CommandTable(&count);
    ASSERT_GT(count, 100);
    std::set<std::string> names;
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(names.insert(table[i].name).second) << table[i].name;
        EXPECT_EQ(FindCommand(table[i].code), &table[i]);
    }
    EXPECT_EQ(FindCommand(CMD_KEEPALIVE)->feature, EFeature::Connection);
    EXPECT_EQ(FindCommand(CMD_VIDEO_PARAMS)->code, static_cast<short>(0xFEF9));
    EXPECT_EQ(FindCommand(12345), nullptr);
}

}  // namespace
