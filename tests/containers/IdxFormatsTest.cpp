#include "document/pIdxFormats.h"

#include "containers/ContainerTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace paxid {
namespace {

using test::WriteFile;

class IdxFormatsTest : public ::testing::Test {
protected:
    std::string Folder() const { return FFolder.Path() + "/"; }
    void Touch(const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(FFolder / name).parent_path());
        WriteFile(FFolder / name, name);
    }
    std::vector<std::string> Expand(const std::string& record) {
        std::vector<std::string> files;
        ExpandIndexData(FFolder / "index.dat", record, files);
        return files;
    }
    std::vector<std::string> InFolder(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            paths.push_back(Folder() + name);
        }
        return paths;
    }

    test::TScratchFolder FFolder;
};

TEST(IdxFields, FieldsAreSplitBySemicolonsWithOneQuoteStrippedEachEnd) {
    TIdxFormatSPSDMVCS format;
    const std::string record = "\"I02r\";\"a;b\";\"\"q\"\";12;14";
    struct TCase {
        int K;
        const char* Field;
    };
    for (const TCase row : {TCase{1, "I02r"}, TCase{2, "a"}, TCase{3, "b"}, TCase{4, "\"q\""}, TCase{5, "12"},
                            TCase{6, "14"}, TCase{9, "14"}}) {
        SCOPED_TRACE(row.K);
        EXPECT_EQ(format.Field(record, row.K), row.Field);
    }
    EXPECT_EQ(format.Field("no separators", 3), "no separators") << "a record without ';' is one field";
    EXPECT_EQ(format.NumberField(record, 5), 12);
    EXPECT_EQ(format.NumberField(record, 2), 0) << "not a number counts as 0";
    EXPECT_EQ(format.NumberField("\"I02r\";;;99999999999;1", 4), 0) << "out of range counts as 0";
    EXPECT_EQ(format.NumberField("\"I02r\";;;-7;1", 4), -7);
}

TEST(IdxFields, ZeroPaddingOnlyWidens) {
    EXPECT_EQ(ZeroPadded(12, 8), "00000012");
    EXPECT_EQ(ZeroPadded(12, 0), "12");
    EXPECT_EQ(ZeroPadded(123, 2), "123");
    EXPECT_EQ(ZeroPadded(0, 10), "0000000000");
}

TEST(IdxClasses, LayoutsCarryTheirDataAndAreChosenByTheExactCode) {
    struct TCase {
        const char* Record;
        int Id;  // 0: no layout
        const char* Name;
    };
    const std::vector<TCase> cases = {
        {"\"I02r\";x;y;1;2", 1, "SPSDMVCS"}, {"\"I05u\";x;7", 3, "SPMDMVCS"}, {"\"I04t\";x;7;2", 5, "MPSDMVCS"},
        {"\"I02R\";x;y;1;2", 0, ""},        {"I02r;x;y;1;2", 0, ""},         {"\"I02r\"x;1", 0, ""},
        {"", 0, ""},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Record);
        const std::unique_ptr<TIdxFormatClass> format = IdxFormatFor(row.Record);
        if (row.Id == 0) {
            EXPECT_EQ(format, nullptr);
            continue;
        }
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->Id, row.Id);
        EXPECT_EQ(format->Name, row.Name);
        EXPECT_EQ(format->Separator, ';');
    }
    TIdxFormatSPSDMVCS spsd;
    EXPECT_EQ(spsd.FirstDocNo("\"I02r\";x;y;12;14"), 12);
    EXPECT_EQ(spsd.LastDocNo("\"I02r\";x;y;12;14"), 14);
    EXPECT_EQ(spsd.DocCount("\"I02r\";x;y;12;14"), 3);
    TIdxFormatMPSDMVCS mpsd;
    EXPECT_EQ(mpsd.FirstDocNo("\"I04t\";x;42;5"), 42);
    EXPECT_EQ(mpsd.DocCount("\"I04t\";x;42;5"), 5);
    EXPECT_EQ(mpsd.DocCount("\"I04t\";x;42;many"), -1);
}

TEST(IdxClasses, FindRangeTakesTheRunOfEntriesInTheRecordsRange) {
    TIdxFormatSPSDMVCS format;
    std::vector<std::string> entries = {"/d/00000011.tif", "/d/00000012.tif", "/d/13.pdf", "/d/00000014",
                                        "/d/00000015.tif"};
    std::int32_t firstIndex = 0, lastIndex = 0, firstNo = 0, lastNo = 0;
    format.FindRange("\"I02r\";x;y;12;14", entries, firstIndex, lastIndex, firstNo, lastNo);
    EXPECT_EQ(std::vector<std::int32_t>({firstIndex, lastIndex, firstNo, lastNo}),
              std::vector<std::int32_t>({1, 3, 12, 14}));
    EXPECT_EQ(entries, (std::vector<std::string>{"/d/00000011.tif", "/d/00000015.tif"}));
    format.FindRange("\"I02r\";x;y;12;14", entries, firstIndex, lastIndex, firstNo, lastNo);
    EXPECT_EQ(firstIndex, -1);
}

TEST_F(IdxFormatsTest, SpsdFindsTheDigitWidthOnceAndNamesEveryNumberInOrder) {
    Touch("00000012.tif");
    Touch("00000013.pdf");
    Touch("00000014");
    Touch("00000015.tif");
    Touch("13.tif");  // another width: not the folder's
    EXPECT_EQ(Expand("\"I02r\";a;b;12;14"), InFolder({"00000012.tif", "00000013.pdf", "00000014"}));
    EXPECT_EQ(Expand("\"I02r\";a;b;14;12"), std::vector<std::string>()) << "last below first";
    EXPECT_EQ(Expand("\"I02R\";a;b;12;14"), std::vector<std::string>()) << "upper-case code";
}

TEST_F(IdxFormatsTest, SpsdWidthComesFromTheFirstNumberThatExists) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Files;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"unpadded names", {"12.tif", "13.tif", "00000014.tif"}, {"12.tif", "13.tif"}},
        {"ten digits", {"0000000013.tif", "00000014.tif", "0000000014.jpg"}, {"0000000013.tif", "0000000014.jpg"}},
        {"eight digits win over unpadded for the same number", {"12.tif", "00000012.tif", "13.tif"},
         {"00000012.tif"}},
        {"nothing in range", {"00000099.tif"}, {}},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Name);
        for (const auto& entry : std::filesystem::directory_iterator(FFolder.Path())) {
            std::filesystem::remove_all(entry.path());
        }
        for (const std::string& name : row.Files) {
            Touch(name);
        }
        EXPECT_EQ(Expand("\"I02r\";a;b;12;14"), InFolder(row.Expected));
    }
}

TEST_F(IdxFormatsTest, AbsurdRangesCostOnlyTheFilesThatExist) {
    Touch("00000005.tif");
    Touch("02000000000.tif");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Expand("\"I02r\";a;b;-2147483648;2147483647"), InFolder({"00000005.tif"}));
    EXPECT_EQ(Expand("\"I02r\";a;b;1;2000000000"), InFolder({"00000005.tif"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(IdxFormatsTest, SpmdTakesEveryFileOfThePaddedSubfolder) {
    Touch("0000000042/b.tif");
    Touch("0000000042/a.pdf");
    Touch("00000042/other.tif");
    std::filesystem::create_directories(FFolder / "0000000042/nested");
    EXPECT_EQ(Expand("\"I05u\";x;42"), InFolder({"0000000042/a.pdf", "0000000042/b.tif"}))
        << "the 10-digit folder is preferred; folders inside are not documents";
    Touch("00000007/p.tif");
    Touch("8/q.tif");
    EXPECT_EQ(Expand("\"I05u\";x;7"), InFolder({"00000007/p.tif"}));
    EXPECT_EQ(Expand("\"I05u\";x;8"), InFolder({"8/q.tif"}));
    EXPECT_EQ(Expand("\"I05u\";x;9"), std::vector<std::string>());
    TIdxFormatSPMDMVCS format;
    format.Folder = Folder();
    EXPECT_EQ(format.DocCount("\"I05u\";x;42"), 2);
}

TEST_F(IdxFormatsTest, MpsdFindsByPaddedNumberThenByName) {
    Touch("0000000031.tif");
    Touch("00000031.tif");
    Touch("00000032.pdf");
    Touch("33.jpg");
    Touch("Report.TIF");
    struct TCase {
        const char* Record;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {
        {"\"I04t\";x;31;1", {"0000000031.tif"}},
        {"\"I04t\";x;32;1", {"00000032.pdf"}},
        {"\"I04t\";x;33;1", {"33.jpg"}},
        {"\"I04t\";x;\"Report.TIF\";1", {"Report.TIF"}},
        {"\"I04t\";x;report.tif;1", {"Report.TIF"}},
        {"\"I04t\";x;../index.dat;1", {}},
        {"\"I04t\";x;34;1", {}},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Record);
        EXPECT_EQ(Expand(row.Record), InFolder(row.Expected));
    }
}

TEST_F(IdxFormatsTest, ChildNamesComeFromTheSelectedRecordOnly) {
    Touch("00000012.tif");
    Touch("00000013.tif");
    WriteFile(FFolder / "index.dat", "\"I02r\";a;b;12;12\r\n\r\n\"I02r\";a;b;12;13\rnot a record\n");
    struct TCase {
        std::int32_t Record;
        std::vector<std::string> Expected;
    };
    const std::vector<TCase> cases = {{1, {"00000012.tif"}}, {2, {}},  {3, {"00000012.tif", "00000013.tif"}},
                                      {4, {}},               {5, {}},  {0, {}},
                                      {-1, {}}};
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.Record);
        EXPECT_EQ(IndexDataChildNames(FFolder / "index.dat", row.Record), InFolder(row.Expected));
    }
    EXPECT_TRUE(IndexDataChildNames(FFolder / "missing.dat", 1).empty());
}

}  // namespace
}  // namespace paxid
