#include "foundation/pLog.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>

namespace paxid {
namespace {

using test::ReadFile;
using test::TScratchFolder;

TEST(LogLineFormat, FollowsTheFixedLayout) {
    const struct {
        const char* Name;
        int Instance;
        const char* Sender;
        const char* Expected;
    } cases[] = {
        {"object", 4711, "TPageRoot", "4711  09:05:03:042 - TPageRoot - Create"},
        {"no object", 4711, "", "4711  09:05:03:042 - NIL - Create"},
        {"small instance has no leading zeros", 42, "TDL", "42  09:05:03:042 - TDL - Create"},
        {"instance zero", 0, "", "0  09:05:03:042 - NIL - Create"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(FormatLogLine(c.Instance, "09:05:03:042", c.Sender, "Create"), c.Expected);
    }
}

TEST(LogLineFormat, TimeHasHoursMinutesSecondsAndMilliseconds) {
    EXPECT_TRUE(std::regex_match(LogTimeText(), std::regex(R"([0-2]\d:[0-5]\d:[0-6]\d:\d{3})"))) << LogTimeText();
}

TEST(LogLines, KeepsTheMostRecent2000InOrder) {
    for (int i = 1; i <= 2001; ++i) {
        WriteLog("TRingTest", "ring " + std::to_string(i));
    }
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), kMaxLogLines);
    const std::string prefix = std::to_string(InstanceNumber()) + "  ";
    EXPECT_EQ(lines.front().rfind(prefix, 0), 0u) << lines.front();
    EXPECT_NE(lines.front().find(" - TRingTest - ring 2"), std::string::npos) << lines.front();
    EXPECT_NE(lines.back().find(" - TRingTest - ring 2001"), std::string::npos) << lines.back();
}

TEST(LogLines, ConcurrentWritersNeverCorruptTheList) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 1000; ++i) {
                WriteLog(nullptr, "thread " + std::to_string(t));
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    const std::vector<std::string> lines = LogLines();
    EXPECT_EQ(lines.size(), kMaxLogLines);
    for (const std::string& line : lines) {
        ASSERT_NE(line.find(" - NIL - thread "), std::string::npos) << line;
    }
}

TEST(LogLines, NeverShowAURLPassword) {
    WriteLog("TDL", "URLOpenStream BEFORE Location=https://ann:s3cr@t@example.org/doc.tif");
    const std::string line = LogLines().back();
    EXPECT_EQ(line.find("s3cr"), std::string::npos) << line;
    EXPECT_NE(line.find("Location=https://example.org/doc.tif"), std::string::npos) << line;
}

// Runs the probe program in its own process, with its own settings and program folder.
class LogProcessTest : public ::testing::Test {
protected:
    std::string Probe(const std::string& mode, int count, const std::string& marker) const {
        const std::string command = "PAXID_CONFIG_DIR='" + FConfig + "' PAXID_PROGRAM_DIR='" + FProgram + "' " +
                                    LOG_PROBE + " " + mode + " " + std::to_string(count) + " " + marker +
                                    " 2>/dev/null";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                output += buffer;
            }
            ::pclose(pipe);
        }
        return output;
    }

    void SetDebug(const std::string& value) const {
        test::WriteFile(FConfig + "/Paxid Viewer.ini", "[Debug]\n(Default)=" + value + "\n");
    }

    TScratchFolder FFolder;
    std::string FConfig = FFolder.Path();
    std::string FProgram = FFolder / "program";
    std::string FLogFile = FProgram + "/_debug.log";

    void SetUp() override { std::filesystem::create_directory(FProgram); }
};

TEST_F(LogProcessTest, DebugSwitchIsOnOnlyForTrueInAnyCase) {
    const struct {
        const char* Value;
        bool On;
    } cases[] = {{"True", true}, {"true", true}, {"TRUE", true}, {"1", false}, {"yes", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        std::filesystem::remove(FLogFile);
        SetDebug(c.Value);
        const std::string output = Probe("write", 3, "switch");
        EXPECT_NE(output.find(c.On ? "debug=1 kept=3" : "debug=0 kept=3"), std::string::npos) << output;
        EXPECT_EQ(std::filesystem::exists(FLogFile), c.On);
    }
}

TEST_F(LogProcessTest, FileGetsOneCrLfLinePerCallAndGrowsAcrossRuns) {
    SetDebug("True");
    Probe("write", 2, "first");
    const std::string output = Probe("write", 2, "second");
    const std::string text = ReadFile(FLogFile);
    std::smatch instance;
    ASSERT_TRUE(std::regex_search(output, instance, std::regex("instance=(\\d+)")));
    EXPECT_TRUE(std::regex_search(
        text, std::regex(instance[1].str() + "  \\d\\d:\\d\\d:\\d\\d:\\d{3} - TLogProbe - second 1\r\n$")))
        << text;
    EXPECT_NE(text.find(" - TLogProbe - first 0\r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

TEST_F(LogProcessTest, UnwritableLogFileCostsOnlyTheFileLines) {
    SetDebug("True");
    std::filesystem::create_directory(FLogFile);  // a folder where the file should be
    const std::string output = Probe("write", 5, "blocked");
    EXPECT_NE(output.find("debug=1 kept=5"), std::string::npos) << output;
    EXPECT_TRUE(std::filesystem::is_directory(FLogFile));
}

TEST_F(LogProcessTest, TwoProcessesShareTheFile) {
    SetDebug("True");
    // Both log at the same time, as two viewers do; a line that finds the file
    // locked by the other is lost, but both processes get lines in.
    std::thread other([this] { Probe("paced", 200, "alpha"); });
    Probe("paced", 200, "beta");
    other.join();
    const std::string text = ReadFile(FLogFile);
    EXPECT_NE(text.find(" - TLogProbe - alpha "), std::string::npos);
    EXPECT_NE(text.find(" - TLogProbe - beta "), std::string::npos);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(\d{1,4}  \S+ - TLogProbe - (alpha|beta) \d+\r)"))) << line;
    }
}

TEST_F(LogProcessTest, EndedListKeepsNoMoreLinesButTheFileDoes) {
    SetDebug("True");
    const std::string output = Probe("end", 10, "ending");
    EXPECT_NE(output.find("kept=0"), std::string::npos) << output;
    EXPECT_NE(ReadFile(FLogFile).find(" - TLogProbe - ending 9\r\n"), std::string::npos);
}

}  // namespace
}  // namespace paxid
