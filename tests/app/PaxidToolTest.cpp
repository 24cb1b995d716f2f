#include "AppTestSupport.h"

#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace paxid {
namespace {

struct TToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

// The paxid tool run end to end in a scratch folder with its own settings,
// temporary folder and program folder.
class PaxidToolTest : public ::testing::Test {
protected:
    TToolRun Paxid(const std::string& arguments) const {
        const std::string command = "cd '" + FFolder.Path() + "' && PAXID_CONFIG_DIR='" + (FFolder / "config") +
                                    "' PAXID_TEMP_DIR='" + (FFolder / "tmp") + "' PAXID_PROGRAM_DIR='" +
                                    (FFolder / "program") + "' " + PAXID_BINARY + " " + arguments + " > '" +
                                    (FFolder / "stdout") + "' 2> '" + (FFolder / "stderr") + "'";
        TToolRun run;
        run.ExitCode = test::RunCommand(command);
        run.Out = test::ReadFile(FFolder / "stdout");
        run.Err = test::ReadFile(FFolder / "stderr");
        return run;
    }
    int Pages(const std::string& name) const {
        TImageFileInfo info;
        return FileInfo(FFolder / name, 0, info) == kImagingSuccess ? info.TotalPages : -1;
    }
    void SetUp() override {
        std::filesystem::create_directories(FFolder / "program");
        std::filesystem::create_directories(FFolder / "config");
    }

    test::TScratchFolder FFolder;
};

TEST_F(PaxidToolTest, SaveWritesTheDocumentByTheExtension) {
    test::MakeImage(FFolder / "five.tif", 5);
    const struct {
        const char* Arguments;
        const char* Output;
        int Pages;
    } cases[] = {
        {"save part.tif --from 2 --to 3 -- five.tif", "part.tif", 2},
        {"save whole.pdf --from 2 --to 3 five.tif", "whole.pdf", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const TToolRun run = Paxid(c.Arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(Pages(c.Output), c.Pages);
    }
    const TToolRun unsupported = Paxid("save out.docx -- five.tif");
    EXPECT_EQ(unsupported.ExitCode, 2);
    EXPECT_NE(unsupported.Err.find("Not supported"), std::string::npos) << unsupported.Err;
    EXPECT_EQ(Paxid("save").ExitCode, 1);
}

TEST_F(PaxidToolTest, PrintWritesAPdfOfTheImagePages) {
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "note.txt", "words");
    const TToolRun all = Paxid("print --pdf all.pdf --fit -- two.tif note.txt");
    EXPECT_EQ(all.ExitCode, 0) << all.Err;
    EXPECT_EQ(Pages("all.pdf"), 2);
    EXPECT_NE(all.Err.find("Paxid Viewer: Untranslated"), std::string::npos) << "the other page is reported";
    std::filesystem::copy_file(std::string(PAXID_SOURCE_DIR) + "/data/lang/ENG.lng", FFolder / "program/ENG.lng");
    const TToolRun english = Paxid("print --pdf all.pdf -- two.tif note.txt");
    EXPECT_NE(english.Err.find("Paxid Viewer: Only the image pages were printed.\r\n"), std::string::npos)
        << "the language file of the program folder";
    test::RunCommand("pdfinfo '" + (FFolder / "all.pdf") + "' > '" + (FFolder / "info") + "'");
    EXPECT_NE(test::ReadFile(FFolder / "info").find("595"), std::string::npos) << "A4 by default";

    const TToolRun range = Paxid("print --pdf one.pdf --from 2 --to 2 --page-size Letter --dpi 150 -- two.tif");
    EXPECT_EQ(range.ExitCode, 0) << range.Err;
    EXPECT_EQ(Pages("one.pdf"), 1);
    test::RunCommand("pdfinfo '" + (FFolder / "one.pdf") + "' > '" + (FFolder / "info") + "'");
    EXPECT_NE(test::ReadFile(FFolder / "info").find("612"), std::string::npos) << "Letter is 612 points wide";

    EXPECT_EQ(Paxid("print --pdf none.pdf -- note.txt").ExitCode, 2) << "nothing to print";
    EXPECT_EQ(Paxid("print -- two.tif").ExitCode, 1);
    EXPECT_EQ(Paxid("print --pdf x.pdf --page-size Z9 -- two.tif").ExitCode, 1);
}

TEST_F(PaxidToolTest, StateReportsFlagsAndControls) {
    test::MakeImage(FFolder / "two.tif", 2);
    const TToolRun run = Paxid("state --json -- -lock_save two.tif -next");
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const nlohmann::json state = nlohmann::json::parse(run.Out);
    EXPECT_EQ(state["flags"]["UISaveEnabled"], false);
    EXPECT_EQ(state["flags"]["UIPrintEnabled"], true);
    EXPECT_EQ(state["flags"]["ReadOnly"], false);
    EXPECT_EQ(state["pageCount"], 2);
    EXPECT_EQ(state["currentIndex"], 0) << "a command-line -next acts before any page exists";
    EXPECT_EQ(state["controls"]["miSave"], false);
    EXPECT_EQ(state["controls"]["miNextPage"], true);
    EXPECT_EQ(state["controls"]["miPrint"], true);
    EXPECT_EQ(state["pageNumberText"], "1");
}

TEST_F(PaxidToolTest, PagesCarryTheirCaptions) {
    test::MakeImage(FFolder / "two.tif", 2);
    test::WriteFile(FFolder / "list.paxid", "two.tif\r\n");
    const TToolRun run = Paxid("pages --json list.paxid");
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const nlohmann::json document = nlohmann::json::parse(run.Out);
    EXPECT_EQ(document["pages"][0]["caption"], "Page 1 of 2\r\ntwo.tif");
    EXPECT_EQ(document["pages"][1]["caption"], "Page 2 of 2\r\ntwo.tif");
    test::WriteFile(FFolder / "config/Paxid Viewer.ini", "[Settings]\r\nThumbShowTextLevel=0\r\n");
    EXPECT_EQ(nlohmann::json::parse(Paxid("pages --json list.paxid").Out)["pages"][0]["caption"], "Page 1 of 2");
}

TEST_F(PaxidToolTest, DiagWritesThePackageAndPrintsItsPath) {
    const TToolRun run = Paxid("diag");
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, FFolder / "program/_debug.zip\n");
    EXPECT_TRUE(std::filesystem::exists(FFolder / "program/_debug.zip"));
}

}  // namespace
}  // namespace paxid
