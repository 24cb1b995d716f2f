#include "OcrPages.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

namespace paxid {
namespace {

using TRun = test::TCommandRun;

// Runs paxid end to end in a scratch folder with settings of its own.
class ImageCommandsTest : public ::testing::Test {
protected:
    TRun Paxid(const std::string& arguments) const { return test::RunPaxidIn(FFolder, PAXID_BINARY, arguments); }

    // Two lines of text, far apart, on a 300-dpi page written as page.tif.
    void RenderPage() {
        const TBitmap page = test::RenderTextPage(FFolder, "page.tif", 1800, 1400,
                                                  {{100, 200, "window garden"}, {100, 1200, "river mountain"}}, 20);
        ASSERT_FALSE(page.IsEmpty());
    }

    test::TScratchFolder FFolder;
};

TEST_F(ImageCommandsTest, OcrPrintsTheWholePageOrARectangle) {
    RenderPage();
    const TRun whole = Paxid("ocr -- page.tif");
    EXPECT_EQ(whole.ExitCode, 0);
    EXPECT_NE(whole.Out.find("window garden"), std::string::npos) << whole.Out;
    EXPECT_NE(whole.Out.find("river mountain"), std::string::npos) << whole.Out;
    const TRun rect = Paxid("ocr --rect 0,1050,1800,300 -- page.tif");
    EXPECT_EQ(rect.ExitCode, 0);
    EXPECT_NE(rect.Out.find("river"), std::string::npos) << rect.Out;
    EXPECT_EQ(rect.Out.find("window"), std::string::npos) << rect.Out;
}

TEST_F(ImageCommandsTest, ZonesPrintOneRectanglePerTextBlock) {
    RenderPage();
    const TRun run = Paxid("zones --color 00FF00 -- page.tif");
    EXPECT_EQ(run.ExitCode, 0);
    std::istringstream lines(run.Out);
    std::vector<std::array<int, 4>> zones;
    std::array<int, 4> zone{};
    while (lines >> zone[0] >> zone[1] >> zone[2] >> zone[3]) {
        zones.push_back(zone);
    }
    ASSERT_EQ(zones.size(), 2U) << run.Out;
    EXPECT_LT(zones[0][1], 200);   // top above the first baseline
    EXPECT_GT(zones[1][3], 1150);  // bottom below the second one
    for (const auto& z : zones) {
        EXPECT_LT(z[0], z[2]);
        EXPECT_LT(z[1], z[3]);
    }
}

TEST_F(ImageCommandsTest, OcrLanguagesComeFromTheSettings) {
    RenderPage();
    std::filesystem::create_directories(FFolder / "config");
    test::WriteFile(FFolder / "config/Paxid Viewer.ini", "[Settings]\nOcrLanguages=xxnone\n");
    const TRun run = Paxid("ocr -- page.tif");
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out, "\n");
}

TEST_F(ImageCommandsTest, ProcessWritesTheChangedPage) {
    ASSERT_EQ(test::RunCommand("/usr/bin/convert -size 40x30 gradient:black-white -type TrueColor '" +
                               (FFolder / "in.bmp") + "'"),
              0);
    struct TCase {
        const char* Arguments;
        int ExitCode;
        bool Changed;
    };
    const TCase cases[] = {
        {"process gamma=100 in.bmp out.bmp", 0, false},
        {"process custom=0,0,100 in.bmp out.bmp", 0, false},
        {"process gamma=150 in.bmp out.bmp", 0, true},
        {"process sobel in.bmp out.bmp", 0, true},
        {"process size=20,15 in.bmp out.bmp", 0, true},
        {"process nothing=1 in.bmp out.bmp", 1, false},
        {"process gamma in.bmp out.bmp", 1, false},
        {"process gamma=1.5 in.bmp out.bmp", 1, false},
        {"process gamma=150 missing.bmp out.bmp", 3, false},
        {"process gamma=150 in.bmp out.xyz", 1, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments);
        std::filesystem::remove(FFolder / "out.bmp");
        const TRun run = Paxid(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode);
        if (c.ExitCode != 0) {
            continue;
        }
        TBitmap in;
        TBitmap out;
        ASSERT_EQ(LoadPage(FFolder / "in.bmp", 1, in), kImagingSuccess);
        ASSERT_EQ(LoadPage(FFolder / "out.bmp", 1, out), kImagingSuccess);
        l_int32 same = 0;
        const bool equal = in.Width() == out.Width() && in.Height() == out.Height() &&
                           pixEqual(in.Get(), out.Get(), &same) == 0 && same == 1;
        EXPECT_EQ(!equal, c.Changed);
    }
}

TEST_F(ImageCommandsTest, UsageErrorsExitWithOne) {
    for (const char* arguments : {"ocr", "ocr --page 0 -- page.tif", "ocr --rect 1,2,3 -- page.tif",
                                  "zones --color red -- page.tif", "ocr --bogus page.tif", "process"}) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(Paxid(arguments).ExitCode, 1);
    }
    EXPECT_EQ(Paxid("ocr -- missing.tif").ExitCode, 3);
}

}  // namespace
}  // namespace paxid
