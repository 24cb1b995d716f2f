#include "AppTestSupport.h"

#include "app/pDiagnostics.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/programdir/ProgramDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace paxid {
namespace {

class DiagnosticsTest : public ::testing::Test, public test::TControllerFixture {
protected:
    std::string Program(const std::string& name) { return FFolder / ("program/" + name); }
    // The members of the package, one per line.
    std::string Members() {
        const std::string listing = FFolder / "listing";
        test::RunCommand("unzip -Z1 '" + Program("_debug.zip") + "' > '" + listing + "' 2>/dev/null");
        return test::ReadFile(listing);
    }
};

TEST_F(DiagnosticsTest, VersionListHasTheProgramThenItsLibrariesThenTheImagingLibraries) {
    test::WriteFile(Program("libplugin.so"), "not really a library");
    test::WriteFile(Program("notes.txt"), "not listed");
    const std::string list = BuildFileVersionList();
    std::istringstream lines(list);
    std::string first;
    std::string second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.substr(0, first.find(';')), ExtractFileName(ProgramExecutablePath()));
    EXPECT_EQ(first.substr(first.find(';') + 1, first.find(';', first.find(';') + 1) - first.find(';') - 1), "3.0.0.1");
    EXPECT_EQ(second.substr(0, second.find(";;")), "libplugin.so") << "no version record in other files";
    EXPECT_NE(second.find(";" + Program("libplugin.so") + ";"), std::string::npos);
    EXPECT_NE(list.find("liblept"), std::string::npos) << "the imaging library in use";
    EXPECT_EQ(list.find("notes.txt"), std::string::npos);
    EXPECT_EQ(list.back(), '\n');
    EXPECT_NE(list.find("\r\n"), std::string::npos);
    // yyyy-mm-dd hh:nn:ss at the end of each line
    EXPECT_EQ(first.size() - first.rfind(';') - 1, std::string("2026-01-01 00:00:00\r").size());
}

TEST_F(DiagnosticsTest, PackageHoldsTheListsAndLeavesOnlyThePageListBehind) {
    TPaxidVW3& controller = Controller();
    test::WriteFile(FFolder / "a.txt", "x");
    controller.AddEntry(FFolder / "a.txt");
    Load();
    test::WriteFile(Program("_paxidmemo.log"), "memo");
    EXPECT_EQ(CreateDebugPackage(&controller.PageRoot()), Program("_debug.zip"));
    EXPECT_EQ(Members(), "_filever.log\n_debugcurr.log\n_pagelist.log\n") << "no log file while the log is off";
    for (const char* gone : {"_filever.log", "_debugcurr.log", "_paxidmemo.log"}) {
        SCOPED_TRACE(gone);
        EXPECT_FALSE(std::filesystem::exists(Program(gone)));
    }
    EXPECT_NE(test::ReadFile(Program("_pagelist.log")).find("a.txt"), std::string::npos);

    test::WriteFile(Program("_debug.log"), "log lines");
    CreateDebugPackage(&controller.PageRoot());
    EXPECT_EQ(Members(), "_filever.log\n_debug.log\n_debugcurr.log\n_pagelist.log\n");
}

TEST_F(DiagnosticsTest, APackageThatCannotBeWrittenKeepsThePreviousOne) {
    test::WriteFile(Program("_debug.zip"), "previous package");
    std::filesystem::create_directories(Program("_debug.zip.part/blocked"));
    EXPECT_EQ(CreateDebugPackage(nullptr), "");
    EXPECT_EQ(test::ReadFile(Program("_debug.zip")), "previous package");
    EXPECT_FALSE(std::filesystem::exists(Program("_filever.log")));
}

}  // namespace
}  // namespace paxid
