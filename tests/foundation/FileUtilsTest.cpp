#include "foundation/pFileUtils.h"

#include "platform/programdir/ProgramDir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <deque>

namespace paxid {
namespace {

using test::TScopedEnv;
using test::TScratchFolder;
using test::WriteFile;

class TempNameTest : public ::testing::Test {
protected:
    TScratchFolder FFolder;
    TScopedEnv FTemp{"PAXID_TEMP_DIR", FFolder.Path()};
};

TEST_F(TempNameTest, NamesLieInTheTemporaryFolderWithTheirExtension) {
    EXPECT_EQ(GetTempDir(), FFolder.Path() + "/");
    const std::string plain = MakeTempFileName("");
    EXPECT_EQ(plain.rfind(FFolder.Path() + "/pxdtmp", 0), 0u) << plain;
    EXPECT_EQ(plain.substr(plain.size() - 4), ".tmp");
    const std::string tiff = MakeTempFileName(".tif");
    EXPECT_EQ(tiff.substr(tiff.size() - 4), ".tif");
    const std::string number = tiff.substr(FFolder.Path().size() + 7, tiff.size() - FFolder.Path().size() - 11);
    EXPECT_FALSE(number.empty());
    EXPECT_TRUE(number == "0" || number.front() != '0') << number;
    EXPECT_LT(std::stoul(number), 1000000u);
    EXPECT_FALSE(std::filesystem::exists(tiff)) << "the name is not reserved";
}

TEST_F(TempNameTest, BaseNamesTakenWithAnyExtensionAreSkipped) {
    WriteFile(FFolder / "pxdtmp5.abc", "");
    WriteFile(FFolder / "pxdtmp6", "");
    WriteFile(FFolder / "pxdtmp70.tif", "");  // only a longer number: does not take 7
    std::deque<std::uint32_t> draws{5, 6, 7};
    const std::string name = MakeTempFileName(".tif", [&draws] {
        const std::uint32_t next = draws.front();
        draws.pop_front();
        return next;
    });
    EXPECT_EQ(name, FFolder / "pxdtmp7.tif");
}

TEST(FileUtils, SizesAndReadabilityOfNames) {
    TScratchFolder folder;
    WriteFile(folder / "five", "12345");
    EXPECT_EQ(FileSizeOf(folder / "five"), 5);
    EXPECT_EQ(FileSizeOf(folder / "missing"), 0);
    EXPECT_EQ(FileSizeOf(folder.Path()), 0);
    EXPECT_EQ(FileSizeOf(""), 0);
    EXPECT_TRUE(CanOpenForRead(folder / "five"));
    EXPECT_FALSE(CanOpenForRead(folder / "missing"));
    EXPECT_FALSE(CanOpenForRead(folder.Path()));
}

TEST(FileUtils, ResolveShellPathGivesTheCanonicalName) {
    TScratchFolder folder;
    WriteFile(folder / "real.tif", "");
    std::filesystem::create_symlink(folder / "real.tif", folder / "link.tif");
    const std::string canonical = std::filesystem::canonical(folder / "real.tif").string();
    EXPECT_EQ(ResolveShellPath(folder / "link.tif"), canonical);
    EXPECT_EQ(ResolveShellPath(folder.Path() + "/./sub/../real.tif"), "");  // "sub" does not exist
    EXPECT_EQ(ResolveShellPath(folder.Path() + "/./real.tif"), canonical);
    EXPECT_EQ(ResolveShellPath(folder / "missing"), "");
    EXPECT_EQ(ResolveShellPath(""), "");
}

TEST(FileUtils, PathPartsAreSplitAtTheLastSlash) {
    EXPECT_EQ(ExtractFileName("/a/b/c.tif"), "c.tif");
    EXPECT_EQ(ExtractFilePath("/a/b/c.tif"), "/a/b/");
    EXPECT_EQ(ExtractFileName("c.tif"), "c.tif");
    EXPECT_EQ(ExtractFilePath("c.tif"), "");
}

TEST(FileUtils, OnlyTheProgramItselfHasAVersionRecord) {
    const TFileVersionInfo own = ReadFileVersionInfo(ProgramExecutablePath());
    EXPECT_EQ(own.CompanyName, "Verdanta");
    EXPECT_EQ(own.ProductName, "Paxid Viewer");
    EXPECT_EQ(own.FileVersion, "3.0.0.1");

    TScratchFolder folder;
    WriteFile(folder / "other", "x");
    const TFileVersionInfo other = ReadFileVersionInfo(folder / "other");
    EXPECT_EQ(other.CompanyName, "");
    EXPECT_EQ(other.FileVersion, "");
    EXPECT_EQ(ReadFileVersionInfo(folder / "missing").ProductName, "");

    const TProgramVersionInfo program = GetProgramVersionInfo();
    EXPECT_EQ(program.ObjName, "");
    EXPECT_EQ(program.ModuleFilename, ProgramExecutablePath());
    EXPECT_EQ(program.VerStr, "3.0.0.1");
    EXPECT_EQ(program.BuildNum, 1);
}

}  // namespace
}  // namespace paxid
