#include "platform/tempdir/PrivateTempDir.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace paxid {
namespace {

using test::TScopedEnv;
using test::TScratchFolder;

class PrivateTempDirTest : public ::testing::Test {
protected:
    TScratchFolder FBase;
    TScopedEnv FNoOverride{"PAXID_TEMP_DIR", std::nullopt};
    TScopedEnv FTmpDir{"TMPDIR", FBase.Path()};
    std::string FExpected = FBase / ("paxidvw-" + std::to_string(::getuid()));
};

TEST_F(PrivateTempDirTest, CreatesAFolderOnlyTheUserCanEnter) {
    EXPECT_EQ(PrivateTempDir(), FExpected + "/");
    struct stat info {};
    ASSERT_EQ(::lstat(FExpected.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(IsPrivateFolder(FExpected));
}

TEST_F(PrivateTempDirTest, NeverUsesALinkAtItsPlace) {
    TScratchFolder elsewhere;
    std::filesystem::create_symlink(elsewhere.Path(), FExpected);
    const std::string folder = PrivateTempDir();
    EXPECT_NE(folder, FExpected + "/");
    EXPECT_EQ(folder.rfind(FExpected + "-", 0), 0u) << folder;
    EXPECT_TRUE(IsPrivateFolder(folder.substr(0, folder.size() - 1)));
    EXPECT_TRUE(std::filesystem::is_symlink(FExpected));
}

TEST_F(PrivateTempDirTest, NeverUsesAFolderOfAnotherUser) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder away";
    }
    ASSERT_EQ(::mkdir(FExpected.c_str(), 0700), 0);
    ASSERT_EQ(::chown(FExpected.c_str(), 65534, 65534), 0);
    const std::string folder = PrivateTempDir();
    EXPECT_NE(folder, FExpected + "/");
    EXPECT_TRUE(IsPrivateFolder(folder.substr(0, folder.size() - 1)));
}

TEST_F(PrivateTempDirTest, ClosesItsOwnFolderThatWasOpenToOthers) {
    ASSERT_EQ(::mkdir(FExpected.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(FExpected.c_str(), 0777), 0);
    EXPECT_EQ(PrivateTempDir(), FExpected + "/");
    EXPECT_TRUE(IsPrivateFolder(FExpected));
}

TEST_F(PrivateTempDirTest, OverrideIsTakenAsGiven) {
    const TScopedEnv override("PAXID_TEMP_DIR", FBase / "chosen");
    EXPECT_EQ(PrivateTempDir(), FBase / "chosen/");
    EXPECT_TRUE(std::filesystem::is_directory(FBase / "chosen"));
}

}  // namespace
}  // namespace paxid
