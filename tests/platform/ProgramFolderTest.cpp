#include "platform/System.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

// An installed copy (bin/ beside share/tavo) finds its files from wherever the tree was put; a
// build-tree copy uses its own folder; a folder given on the command line wins over both.
TEST(ProgramFolder, InstalledTreeBuildTreeAndChosenFolder) {
    QTemporaryDir root;
    const QString program = root.filePath("usr/bin/tavo");
    ASSERT_TRUE(tavotest::WriteFile(program, {}));
    ASSERT_TRUE(tavotest::WriteFile(root.filePath("usr/share/tavo/cfg.ini"), {}));
    EXPECT_EQ(ProgramFolder({}, program), QDir(root.filePath("usr/share/tavo")).absolutePath());

    ASSERT_TRUE(tavotest::WriteFile(root.filePath("usr/bin/cfg.ini"), {}));
    EXPECT_EQ(ProgramFolder({}, program), QDir(root.filePath("usr/bin")).absolutePath());

    EXPECT_EQ(ProgramFolder(QStringLiteral("/elsewhere"), program), QStringLiteral("/elsewhere"));
}

}  // namespace
