#include "platform/settings/SettingsStore.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <vector>

namespace paxid {
namespace {

using test::ReadFile;
using test::TScratchFolder;
using test::WriteFile;

class SettingsStoreTest : public ::testing::Test {
protected:
    TScratchFolder FFolder;
    std::string FPath = FFolder / "Paxid Viewer.ini";
    TSettingsStore FStore{FPath};
};

TEST_F(SettingsStoreTest, ReadsWhatItWroteWithoutRegardToCase) {
    ASSERT_TRUE(FStore.WriteString("Settings", "jpgQ", "75"));
    ASSERT_TRUE(FStore.WriteString("Debug", "", "True"));
    EXPECT_EQ(FStore.ReadString("SETTINGS", "JPGQ"), "75");
    EXPECT_EQ(FStore.ReadString("debug", ""), "True");
    EXPECT_NE(ReadFile(FPath).find("(Default)=True"), std::string::npos);
    EXPECT_EQ(FStore.ReadString("Settings", "Missing"), std::nullopt);
    EXPECT_EQ(FStore.ReadString("Pos", "jpgQ"), std::nullopt);
}

TEST_F(SettingsStoreTest, ValuesLongerThan255CharactersReadAsMissing) {
    ASSERT_TRUE(FStore.WriteValues(std::vector<TSettingValue>{{"Pos", "Exact", std::string(255, 'x')},
                                                               {"Pos", "Long", std::string(256, 'x')}}));
    EXPECT_EQ(FStore.ReadString("Pos", "Exact"), std::string(255, 'x'));
    EXPECT_EQ(FStore.ReadString("Pos", "Long"), std::nullopt);
}

TEST_F(SettingsStoreTest, RewriteKeepsEveryLineItDoesNotSet) {
    WriteFile(FPath, "; kept comment\r\n[settings]\r\nJPGQ=10\r\nProxyUser=ann\r\n\r\n[Other]\r\nx = y\r\n");
    ASSERT_TRUE(FStore.WriteValues(std::vector<TSettingValue>{
        {"Settings", "jpgQ", "90"}, {"Settings", "ThumbWidth", "120"}, {"Language", "Language", "/l/ENG.lng"}}));
    const std::string text = ReadFile(FPath);
    EXPECT_NE(text.find("; kept comment"), std::string::npos);
    EXPECT_NE(text.find("ProxyUser=ann"), std::string::npos);
    EXPECT_NE(text.find("[Other]\nx = y"), std::string::npos);
    EXPECT_EQ(text.find("JPGQ=10"), std::string::npos);
    EXPECT_EQ(FStore.ReadString("Settings", "jpgQ"), "90");
    EXPECT_EQ(FStore.ReadString("Settings", "ThumbWidth"), "120");
    EXPECT_EQ(FStore.ReadString("Language", "Language"), "/l/ENG.lng");
    EXPECT_EQ(FStore.ReadString("Other", "x"), " y");
}

TEST_F(SettingsStoreTest, ValuesReadTheSameAfterARewriteWhateverTheLineEnds) {
    WriteFile(FPath, "[Pos]\r\nWndLeft=50\r\r\nWndTop=7\r\n");
    const auto before = FStore.ReadString("Pos", "WndLeft");
    ASSERT_TRUE(FStore.WriteString("Settings", "jpgQ", "1"));
    EXPECT_EQ(FStore.ReadString("Pos", "WndLeft"), before);
    EXPECT_EQ(before, "50");
    EXPECT_EQ(FStore.ReadString("Pos", "WndTop"), "7");
}

TEST_F(SettingsStoreTest, UnusableFilesReadAsEmpty) {
    struct TCase {
        const char* Name;
        std::string Contents;
    };
    const std::vector<TCase> cases{
        {"binary with zero bytes", std::string("[Debug]\n(Default)=True\n\0\x01\x02", 27)},
        {"larger than a settings file can be", "[Debug]\n(Default)=True\n" + std::string(2 << 20, 'x')},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(FPath, c.Contents);
        EXPECT_EQ(FStore.ReadString("Debug", ""), std::nullopt);
    }
    std::filesystem::remove(FPath);
    EXPECT_EQ(FStore.ReadString("Debug", ""), std::nullopt);
    std::filesystem::create_directory(FPath);
    EXPECT_EQ(FStore.ReadString("Debug", ""), std::nullopt);
}

TEST_F(SettingsStoreTest, CorruptFileIsSetAsideNotLost) {
    const std::string damaged("[Settings]\njpgQ=5\n\0\0garbage", 26);
    WriteFile(FPath, damaged);
    ASSERT_TRUE(FStore.WriteString("Settings", "jpgQ", "60"));
    EXPECT_EQ(ReadFile(FPath + ".corrupt"), damaged);
    EXPECT_EQ(FStore.ReadString("Settings", "jpgQ"), "60");
}

TEST_F(SettingsStoreTest, RefusesToReplaceWhatItCannotRead) {
    std::filesystem::create_directory(FPath);
    EXPECT_FALSE(FStore.WriteString("Settings", "jpgQ", "60"));
    EXPECT_TRUE(std::filesystem::is_directory(FPath));
    std::filesystem::remove(FPath);
    WriteFile(FPath, "[Pos]\nkeep=1\n" + std::string(2 << 20, 'x'));
    EXPECT_FALSE(FStore.WriteString("Settings", "jpgQ", "60"));
    EXPECT_EQ(std::filesystem::file_size(FPath), 13u + (2u << 20));
}

TEST_F(SettingsStoreTest, RefusesValuesThatWouldBreakTheFile) {
    EXPECT_FALSE(FStore.WriteString("Settings", "a", "line\nbreak"));
    EXPECT_FALSE(FStore.WriteString("Settings", "a=b", "x"));
    EXPECT_FALSE(FStore.WriteString("Sec]tion", "a", "x"));
    EXPECT_FALSE(std::filesystem::exists(FPath));
}

TEST_F(SettingsStoreTest, LinkedFileIsRewrittenWhereItPoints) {
    const std::string target = FFolder / "dotfiles.ini";
    WriteFile(target, "[Pos]\nWndLeft=5\n");
    std::filesystem::create_symlink(target, FPath);
    ASSERT_TRUE(FStore.WriteString("Pos", "WndTop", "7"));
    EXPECT_TRUE(std::filesystem::is_symlink(FPath));
    EXPECT_EQ(ReadFile(target), "[Pos]\nWndLeft=5\nWndTop=7\n");
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNothingAndTearNothing) {
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 40;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TSettingsStore store(FPath);
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i) {
                ok = store.WriteString("Settings", "w" + std::to_string(writer) + "v" + std::to_string(i),
                                       std::string(100, static_cast<char>('a' + writer))) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kValuesEach; ++i) {
            EXPECT_EQ(FStore.ReadString("Settings", "w" + std::to_string(writer) + "v" + std::to_string(i)),
                      std::string(100, static_cast<char>('a' + writer)));
        }
    }
}

TEST(SettingsStoreLocation, FollowsTheConfigurationFolders) {
    {
        const test::TScopedEnv config("PAXID_CONFIG_DIR", "/cfg/here");
        EXPECT_EQ(TSettingsStore::User().Path(), "/cfg/here/Paxid Viewer.ini");
    }
    const test::TScopedEnv config("PAXID_CONFIG_DIR", std::nullopt);
    const test::TScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(TSettingsStore::User().Path(), "/xdg/Verdanta/Paxid Viewer.ini");
    EXPECT_EQ(TSettingsStore::Machine().Path(), "/etc/xdg/Verdanta/Paxid Viewer.ini");
}

}  // namespace
}  // namespace paxid
