#include "document/pCabinet.h"

#include "containers/ContainerTestSupport.h"
#include "document/pCollectionList.h"
#include "foundation/pFileUtils.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <fstream>
#include <sstream>

namespace paxid {
namespace {

using test::CommandOutput;
using test::FolderNames;
using test::Quoted;
using test::ReadFile;
using test::RunCommand;
using test::TScratchFolder;
using test::WriteFile;

// A real three-page G4 TIFF and a small PDF made by ImageMagick.
class CabinetTest : public test::TTempFolderTest {
protected:
    void SetUp() override {
        FTiff = FWork / "three.tif";
        FPdf = FWork / "one.pdf";
        ASSERT_EQ(RunCommand("/usr/bin/convert -size 64x48 xc:white -fill black -draw 'rectangle 4,4 20,20' "
                             "xc:white xc:black -monochrome -compress Group4 " + Quoted(FTiff) + " 2>/dev/null"),
                  0);
        ASSERT_EQ(RunCommand("gs -q -sDEVICE=pdfwrite -o " + Quoted(FPdf) + " -c showpage"), 0);
    }

    std::vector<TCabinetPage> TiffAndPdfPages() const {
        return {{FTiff, 1, dltImage}, {FTiff, 2, dltImage}, {FTiff, 3, dltImage}, {FPdf, 0, dltFileWeb}};
    }

    // Writes "page N of SOURCE" as the single-page file, as the imaging layer's stand-in.
    TExtractImagePage RecordingExtractor() {
        return [this](const std::string& source, std::int32_t pageNo, const std::string& target) {
            FExtracted.push_back(pageNo);
            WriteFile(target, "page " + std::to_string(pageNo) + " of " + source);
            return true;
        };
    }

    // The list inside a cabinet, read back with Info-ZIP.
    static std::string ListOf(const std::string& cabinet) {
        return CommandOutput("unzip -p " + Quoted(cabinet) + " _PaxidList.Paxid");
    }
    // Entry names in archive order, as `unzip -Z1` prints them.
    static std::vector<std::string> EntriesOf(const std::string& cabinet) {
        std::istringstream lines(CommandOutput("unzip -Z1 " + Quoted(cabinet)));
        std::vector<std::string> names;
        for (std::string line; std::getline(lines, line);) {
            names.push_back(line);
        }
        return names;
    }
    static std::string EntryName(const std::string& listLine) { return listLine.substr(0, listLine.find(';')); }

    std::string FTiff;
    std::string FPdf;
    std::vector<std::int32_t> FExtracted;
};

TEST_F(CabinetTest, WholeDocumentSharesOneCopyPerSourceAndListsEveryPage) {
    const std::string cabinet = FWork / "doc.paxidcab";
    std::vector<std::string> progressNames;
    ASSERT_EQ(ZipList(cabinet, TiffAndPdfPages(), 0, 0, RecordingExtractor(),
                      [&](const std::string& name, int number, int count) {
                          EXPECT_EQ(number, static_cast<int>(progressNames.size()) + 1);
                          EXPECT_EQ(count, 3);
                          progressNames.push_back(name);
                      }),
              0);
    EXPECT_TRUE(FExtracted.empty()) << "whole documents are stored as they are";

    EXPECT_EQ(RunCommand("unzip -tq " + Quoted(cabinet) + " >/dev/null"), 0);
    const std::vector<std::string> entries = EntriesOf(cabinet);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.back(), "_PaxidList.Paxid") << "the list goes last";
    for (const std::string& entry : entries) {
        EXPECT_EQ(entry.find('/'), std::string::npos) << "entries lie in the archive's root: " << entry;
    }
    const std::string listing = CommandOutput("unzip -l " + Quoted(cabinet));
    EXPECT_NE(listing.find("3 files"), std::string::npos) << listing;
    EXPECT_EQ(progressNames, entries) << "progress names each file once, in archive order";

    const std::string list = ListOf(cabinet);
    std::vector<std::string> lines = CollectionListEntries(list);
    ASSERT_EQ(lines.size(), 4u) << list;
    EXPECT_EQ(list.size(), lines[0].size() + lines[1].size() + lines[2].size() + lines[3].size() + 8)
        << "CR LF after every line, the last one included";
    EXPECT_EQ(list.substr(list.size() - 2), "\r\n");
    const std::string tiffEntry = EntryName(lines[0]);
    const std::string pdfEntry = EntryName(lines[3]);
    EXPECT_EQ(lines[0], tiffEntry + ";1");
    EXPECT_EQ(lines[1], tiffEntry + ";2");
    EXPECT_EQ(lines[2], tiffEntry + ";3");
    EXPECT_EQ(lines[3], pdfEntry + ";1");
    EXPECT_EQ(tiffEntry.rfind("pxdtmp", 0), 0u);
    EXPECT_EQ(tiffEntry.substr(tiffEntry.size() - 4), ".tif");
    EXPECT_EQ(pdfEntry.substr(pdfEntry.size() - 4), ".pdf");
    EXPECT_EQ(entries[0], tiffEntry);
    EXPECT_EQ(entries[1], pdfEntry);

    const std::string verbose = CommandOutput("unzip -v " + Quoted(cabinet));
    std::istringstream rows(verbose);
    for (std::string row; std::getline(rows, row);) {
        if (row.find(tiffEntry) != std::string::npos || row.find(pdfEntry) != std::string::npos) {
            EXPECT_NE(row.find("Stored"), std::string::npos) << "compressed content is not deflated again: " << row;
        }
    }
    EXPECT_TRUE(FolderNames(FTemp.Path()).empty()) << "no temporary file remains";
}

TEST_F(CabinetTest, ReopenedCabinetGivesTheSamePagesInTheSameOrder) {
    const std::string cabinet = FWork / "doc.paxidcab";
    ZipList(cabinet, TiffAndPdfPages(), 0, 0, RecordingExtractor());
    const std::string folder = MakeCabinetFolder();
    ASSERT_NE(folder, GetTempDir());
    EXPECT_EQ(folder.rfind(GetTempDir() + "pxdtmp", 0), 0u);
    EXPECT_EQ(UnzipCabinet(cabinet, folder), 0);

    const std::vector<std::string> lines = ReadCollectionList(CabinetChildName(folder));
    ASSERT_EQ(lines.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {FTiff, ";1"}, {FTiff, ";2"}, {FTiff, ";3"}, {FPdf, ";1"}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(lines[i].substr(lines[i].find(';')), expected[i].second);
        EXPECT_EQ(ReadFile(folder + EntryName(lines[i])), ReadFile(expected[i].first));
    }
}

TEST_F(CabinetTest, PageRangesExtractImagePagesOrCountAsWhole) {
    struct TCase {
        const char* Name;
        int From;
        int To;
        std::vector<std::int32_t> Extracted;   // pages the imaging layer was asked for
        std::vector<std::string> PageSuffixes;  // of the list's lines
        std::size_t ContentEntries;
    };
    const std::vector<TCase> cases = {
        {"pages 1 to 2 are single-page copies", 1, 2, {1, 2}, {";1", ";1"}, 2},
        {"pages 2 to 3 end at the last page: one shared copy", 2, 3, {}, {";2", ";3"}, 1},
        {"bounds 0 and 0 are the whole document", 0, 0, {}, {";1", ";2", ";3"}, 1},
        {"a last page beyond the count means the last page", -4, 99, {}, {";1", ";2", ";3"}, 1},
        {"a single middle page", 2, 2, {2}, {";1"}, 1},
    };
    const std::vector<TCabinetPage> pages = {{FTiff, 1, dltImage}, {FTiff, 2, dltImage}, {FTiff, 3, dltImage}};
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        FExtracted.clear();
        const std::string cabinet = FWork / "range.paxidcab";
        ZipList(cabinet, pages, row.From, row.To, RecordingExtractor());
        EXPECT_EQ(FExtracted, row.Extracted);
        const std::vector<std::string> lines = CollectionListEntries(ListOf(cabinet));
        ASSERT_EQ(lines.size(), row.PageSuffixes.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].substr(lines[i].find(';')), row.PageSuffixes[i]);
        }
        EXPECT_EQ(EntriesOf(cabinet).size(), row.ContentEntries + 1);
        if (!row.Extracted.empty()) {
            EXPECT_EQ(CommandOutput("unzip -p " + Quoted(cabinet) + " " + EntryName(lines[0])),
                      "page " + std::to_string(row.Extracted[0]) + " of " + FTiff);
        }
        EXPECT_TRUE(FolderNames(FTemp.Path()).empty()) << "extracted pages are deleted after zipping";
    }
}

TEST_F(CabinetTest, PartialRangesCopyNonImagePagesWholeAndFallBackWhenExtractionFails) {
    const std::string cabinet = FWork / "mixed.paxidcab";
    const std::vector<TCabinetPage> pages = {{FPdf, 0, dltFileWeb}, {FTiff, 2, dltImage}, {FTiff, 3, dltImage}};
    const TExtractImagePage failing = [](const std::string&, std::int32_t, const std::string&) { return false; };
    ZipList(cabinet, pages, 1, 2, failing);
    const std::vector<std::string> lines = CollectionListEntries(ListOf(cabinet));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find(';')), ";1");
    EXPECT_EQ(lines[1].substr(lines[1].find(';')), ";2") << "the whole file, so its own page number";
    EXPECT_EQ(CommandOutput("unzip -p " + Quoted(cabinet) + " " + EntryName(lines[0])), ReadFile(FPdf));
    EXPECT_EQ(CommandOutput("unzip -p " + Quoted(cabinet) + " " + EntryName(lines[1])), ReadFile(FTiff));
    EXPECT_TRUE(FolderNames(FTemp.Path()).empty());
}

TEST_F(CabinetTest, WritingFailuresRaiseAndLeaveNothingBehind) {
    EXPECT_THROW(ZipList(FWork / "no-such-folder/doc.paxidcab", TiffAndPdfPages(), 1, 2, RecordingExtractor()),
                 std::runtime_error);
    EXPECT_TRUE(FolderNames(FTemp.Path()).empty());
    EXPECT_EQ(FolderNames(FWork.Path()), (std::vector<std::string>{"one.pdf", "three.tif"}));

    const std::string cabinet = FWork / "old.paxidcab";
    WriteFile(cabinet, "not a zip file at all");
    ZipList(cabinet, TiffAndPdfPages(), 0, 0, RecordingExtractor());
    EXPECT_EQ(EntriesOf(cabinet).size(), 3u) << "an existing file is replaced";
}

TEST_F(CabinetTest, MissingSourcesKeepTheirLineButStoreNothing) {
    const std::string cabinet = FWork / "gap.paxidcab";
    const std::vector<TCabinetPage> pages = {{FWork / "gone.tif", 1, dltImage}, {FPdf, 0, dltFileWeb}};
    ZipList(cabinet, pages, 0, 0, RecordingExtractor());
    EXPECT_EQ(CollectionListEntries(ListOf(cabinet)).size(), 2u);
    EXPECT_EQ(EntriesOf(cabinet).size(), 2u);
}

// Archives made by Info-ZIP, as other systems write them.
class UnzipCabinetTest : public test::TTempFolderTest {
protected:
    void SetUp() override {
        FSource = FWork / "src";
        FOut = FWork / "out";
        std::filesystem::create_directories(FSource);
        std::filesystem::create_directories(FOut);
    }

    std::string FSource;
    std::string FOut;
};

TEST_F(UnzipCabinetTest, InfoZipCabinetsExtractIntoTheFolderReplacingFiles) {
    WriteFile(FSource + "/a.txt", "alpha");
    WriteFile(FSource + "/_PaxidList.Paxid", "a.txt;1\r\n");
    const std::string cabinet = FWork / "info.paxidcab";
    ASSERT_EQ(RunCommand("cd " + Quoted(FSource) + " && zip -q -X " + Quoted(cabinet) + " a.txt _PaxidList.Paxid"), 0);
    WriteFile(FOut + "/a.txt", "an older, longer text");
    std::vector<std::string> progress;
    EXPECT_EQ(UnzipCabinet(cabinet, FOut + "/", [&](const std::string& name, int number, int count) {
                  progress.push_back(name + " " + std::to_string(number) + "/" + std::to_string(count));
              }),
              0);
    EXPECT_EQ(ReadFile(FOut + "/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(FOut + "/_PaxidList.Paxid"), "a.txt;1\r\n");
    EXPECT_EQ(progress, (std::vector<std::string>{"a.txt 1/2", "_PaxidList.Paxid 2/2"}));
    EXPECT_EQ(FolderNames(FOut), (std::vector<std::string>{"_PaxidList.Paxid", "a.txt"}));
}

// Writes an archive with names exactly as given (libzip keeps "../x" and "/abs").
void WriteRawArchive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const auto& [name, contents] : entries) {
        zip_source_t* source = zip_source_buffer(archive, contents.data(), contents.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW), 0) << name;
    }
    ASSERT_EQ(zip_close(archive), 0);
}

TEST_F(UnzipCabinetTest, HostileNamesNeverWriteOutsideTheFolder) {
    const std::string cabinet = FWork / "hostile.paxidcab";
    const std::string outside = FWork / "escaped";
    WriteRawArchive(cabinet, {{"../escaped", "dotdot"},
                              {"../../escaped2", "deeper"},
                              {outside + "-abs", "absolute"},
                              {"sub/dir/inner.txt", "folders"},
                              {"C:\\Windows\\win.txt", "drive path"},
                              {"D:drive.txt", "drive relative"},
                              {"..", "parent"},
                              {"emptydir/", ""},
                              {"ok.txt", "fine"}});
    UnzipCabinet(cabinet, FOut + "/");
    EXPECT_FALSE(std::filesystem::exists(outside));
    EXPECT_FALSE(std::filesystem::exists(outside + "-abs"));
    EXPECT_FALSE(std::filesystem::exists(FWork.Path() + "/../escaped2"));
    EXPECT_EQ(FolderNames(FWork.Path()), (std::vector<std::string>{"hostile.paxidcab", "out", "src"}));
    EXPECT_EQ(FolderNames(FOut), (std::vector<std::string>{"drive.txt", "escaped", "escaped-abs", "escaped2",
                                                            "inner.txt", "ok.txt", "win.txt"}))
        << "every entry lands under its bare name";
    EXPECT_EQ(ReadFile(FOut + "/escaped"), "dotdot");
    EXPECT_EQ(ReadFile(FOut + "/win.txt"), "drive path");
}

TEST_F(UnzipCabinetTest, NulBytesInNamesCannotSmuggleAPath) {
    const std::string cabinet = FWork / "nul.paxidcab";
    WriteRawArchive(cabinet, {{"safe.txtX/../../nul-escaped", "nul"}});
    std::string bytes = ReadFile(cabinet);
    for (std::size_t at = bytes.find("safe.txtX"); at != std::string::npos; at = bytes.find("safe.txtX", at + 1)) {
        bytes[at + 8] = '\0';  // in both the local and the central header
    }
    WriteFile(cabinet, bytes);
    UnzipCabinet(cabinet, FOut + "/");
    EXPECT_FALSE(std::filesystem::exists(FWork.Path() + "/../nul-escaped"));
    EXPECT_FALSE(std::filesystem::exists(FWork / "nul-escaped"));
    for (const std::string& name : FolderNames(FOut)) {
        EXPECT_EQ(name.find('/'), std::string::npos);
    }
}

TEST_F(UnzipCabinetTest, LinksInTheArchiveOrInTheFolderAreNeverFollowed) {
    const std::string target = FWork / "precious.txt";
    WriteFile(target, "keep me");
    std::filesystem::create_symlink(target, FSource + "/link.txt");
    std::filesystem::create_symlink("../precious.txt", FSource + "/rel.txt");
    WriteFile(FSource + "/planted.txt", "new contents");
    const std::string cabinet = FWork / "links.paxidcab";
    ASSERT_EQ(RunCommand("cd " + Quoted(FSource) + " && zip -q -y " + Quoted(cabinet) +
                         " link.txt rel.txt planted.txt"),
              0);
    ASSERT_NE(CommandOutput("unzip -Zl " + Quoted(cabinet)).find("lrwx"), std::string::npos)
        << "Info-ZIP stored the links as links";
    std::filesystem::create_symlink(target, FOut + "/planted.txt");  // a link already at an entry's name

    UnzipCabinet(cabinet, FOut + "/");
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(FOut + "/link.txt")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(FOut + "/rel.txt")));
    EXPECT_FALSE(std::filesystem::is_symlink(FOut + "/planted.txt")) << "the planted link is replaced";
    EXPECT_EQ(ReadFile(FOut + "/planted.txt"), "new contents");
}

TEST_F(UnzipCabinetTest, ExtractionStopsBeyondTheSizeBound) {
    const std::string cabinet = FWork / "bomb.paxidcab";
    ASSERT_EQ(RunCommand("head -c 8388608 /dev/zero > " + Quoted(FSource + "/zeros") + " && echo tail > " +
                         Quoted(FSource + "/after.txt") + " && cd " + Quoted(FSource) + " && zip -q -9 " +
                         Quoted(cabinet) + " zeros after.txt"),
              0);
    const std::int64_t arcSize = FileSizeOf(cabinet);
    ASSERT_LT(arcSize * 100, 8388608) << "the archive must be a real bomb for this bound";
    const TCabinetLimits limits{100, 1 << 20};  // 1 MiB stands in for 1 GiB
    UnzipCabinet(cabinet, FOut + "/", {}, limits);
    EXPECT_TRUE(FolderNames(FOut).empty()) << "the entry over the bound is dropped and extraction stops";

    UnzipCabinet(cabinet, FOut + "/", {}, TCabinetLimits{100, 16 << 20});
    EXPECT_EQ(FileSizeOf(FOut + "/zeros"), 8388608) << "within the bound the same archive extracts";
    EXPECT_EQ(ReadFile(FOut + "/after.txt"), "tail\n");
}

TEST(CabinetBounds, BothTheFactorAndTheFloorMustBeExceeded) {
    struct TCase {
        std::int64_t ArcSize;
        std::int64_t Bound;
    };
    for (const TCase& row : {TCase{0, 1LL << 30}, TCase{1 << 20, 1LL << 30}, TCase{20LL << 20, 2000LL << 20}}) {
        SCOPED_TRACE(row.ArcSize);
        EXPECT_EQ(CabinetExtractionBound(row.ArcSize), row.Bound);
    }
}

TEST_F(UnzipCabinetTest, DamagedOrMissingArchivesExtractWhatTheyCanWithoutFailing) {
    WriteFile(FWork / "garbage.paxidcab", std::string(1000, 'x'));
    EXPECT_EQ(UnzipCabinet(FWork / "garbage.paxidcab", FOut + "/"), 0);
    EXPECT_EQ(UnzipCabinet(FWork / "missing.paxidcab", FOut + "/"), 0);
    EXPECT_EQ(UnzipCabinet(FWork / "garbage.paxidcab", FWork / "no-folder/"), 0);

    const std::string cabinet = FWork / "flipped.paxidcab";
    WriteFile(FSource + "/a.txt", std::string(5000, 'a') + "unique text that deflates");
    WriteFile(FSource + "/b.txt", "bee");
    ASSERT_EQ(RunCommand("cd " + Quoted(FSource) + " && zip -q " + Quoted(cabinet) + " a.txt b.txt"), 0);
    std::string bytes = ReadFile(cabinet);
    auto le16 = [&bytes](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                        static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    const std::size_t data = 30 + le16(26) + le16(28);  // a.txt's deflated data, after its local header
    bytes[data + 5] = static_cast<char>(bytes[data + 5] ^ 0x55);
    WriteFile(cabinet, bytes);
    UnzipCabinet(cabinet, FOut + "/");
    EXPECT_FALSE(std::filesystem::exists(FOut + "/a.txt")) << "a damaged entry is not left half written";
    EXPECT_EQ(ReadFile(FOut + "/b.txt"), "bee");
    for (const std::string& name : FolderNames(FOut)) {
        EXPECT_NE(name.rfind(".pxdextract", 0), 0u) << name;
    }
}

TEST_F(UnzipCabinetTest, CabinetFoldersAreRemovedWithTheirEntriesButNothingElse) {
    const std::string folder = MakeCabinetFolder();
    const std::string other = MakeCabinetFolder();
    EXPECT_NE(folder, other) << "each cabinet gets a folder of its own";
    WriteFile(folder + "pxdtmp1.tif", "entry");
    WriteFile(FWork / "outside.txt", "stays");
    std::filesystem::create_symlink(FWork / "outside.txt", folder + "link");
    RemoveCabinetFolder(FWork.Path() + "/");
    RemoveCabinetFolder(GetTempDir());
    EXPECT_TRUE(std::filesystem::exists(FWork.Path()));
    EXPECT_TRUE(std::filesystem::exists(GetTempDir()));
    RemoveCabinetFolder(folder);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_EQ(ReadFile(FWork / "outside.txt"), "stays");
}

TEST(CabinetNames, ChildIsTheListInsideTheFolder) {
    EXPECT_EQ(CabinetChildName("/tmp/x/pxdtmp5.cabinet/"), "/tmp/x/pxdtmp5.cabinet/_PaxidList.Paxid");
}

}  // namespace
}  // namespace paxid
