#include "foundation/pLog.h"
#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "retrieval/pImageStream.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace paxid {
namespace {

// Feeds a file in chunks and records what the stream announced.
class ImageStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        Stream.OnFirstRow = [this](const std::string& status, const TImageFileInfo&) {
            Events.push_back(status);
        };
        Stream.OnLastRow = [this](const std::string& status, const TImageFileInfo& info, TBitmap& bitmap) {
            Events.push_back(status);
            Widths.push_back(bitmap.Width());
            Pages.push_back(info.TotalPages);
            FedWhenDelivered.push_back(Fed);
            DeliveredWhileFinalizing.push_back(Finalizing);
            Kept = std::move(bitmap);
        };
    }

    int Feed(const std::string& bytes, std::size_t chunk, std::size_t limit = std::string::npos) {
        EXPECT_EQ(Stream.Initialize(), kImagingSuccess);
        const std::size_t end = std::min(limit, bytes.size());
        for (Fed = 0; Fed < end;) {
            const std::size_t count = std::min(chunk, end - Fed);
            EXPECT_EQ(Stream.FeedData(reinterpret_cast<const std::uint8_t*>(bytes.data()) + Fed, count),
                      kImagingSuccess);
            Fed += count;
        }
        Finalizing = true;
        const int result = Stream.Finalize();
        Finalizing = false;
        return result;
    }

    test::TScratchFolder Folder;
    TImageStream Stream;
    std::vector<std::string> Events;
    std::vector<int> Widths;
    std::vector<int> Pages;
    std::vector<std::size_t> FedWhenDelivered;
    std::size_t Fed = 0;
    bool Finalizing = false;
    std::vector<bool> DeliveredWhileFinalizing;
    TBitmap Kept;
};

TEST_F(ImageStreamTest, DeliversEveryTiffPageInOrderWhileBytesArrive) {
    const std::string path = Folder / "twenty.tif";
    for (int page = 0; page < 20; ++page) {
        TBitmap bitmap = TBitmap::Create(100 + page, 400, 24);
        ASSERT_EQ(SaveBitmap(path, bitmap, kFormatTiffJpeg, 24, 20, page == 0 ? 0 : kSaveAppend), kImagingSuccess);
    }
    const std::string bytes = test::ReadFile(path);
    const auto libtiffLines = [] {
        const std::vector<std::string> lines = LogLines();
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& line) { return line.find(" - libtiff - ") != std::string::npos; });
    };
    const auto complaintsBefore = libtiffLines();
    EXPECT_EQ(Feed(bytes, 4096), kImagingSuccess);
    // Only directories that have arrived whole are handed to libtiff.
    EXPECT_EQ(libtiffLines(), complaintsBefore);
    ASSERT_EQ(Widths.size(), 20U);
    for (int page = 0; page < 20; ++page) {
        EXPECT_EQ(Widths[static_cast<std::size_t>(page)], 100 + page);
        EXPECT_EQ(Events[static_cast<std::size_t>(2 * page)], "FIRSTROW");
        EXPECT_EQ(Events[static_cast<std::size_t>(2 * page + 1)], "LASTROW");
    }
    EXPECT_EQ(Pages.back(), 20);
    EXPECT_LT(FedWhenDelivered.front(), bytes.size() / 5);
    EXPECT_FALSE(Kept.IsEmpty());  // the handler may keep the page
    const std::vector<std::string> lines = LogLines();
}

TEST_F(ImageStreamTest, SinglePageFormatsArriveWithTheirLastByte) {
    const std::string pbm = Folder / "page.pbm";
    ASSERT_TRUE(test::MakeTestImage(pbm, 90, 60, "-monochrome"));
    ASSERT_EQ(test::RunCommand("pbmtojbg '" + pbm + "' '" + (Folder / "page.jbg") + "'"), 0);
    for (const char* name : {"page.png", "page.jpg", "page.gif", "page.bmp", "page.webp", "page.jbg"}) {
        SCOPED_TRACE(name);
        Events.clear();
        Widths.clear();
        DeliveredWhileFinalizing.clear();
        const std::string path = Folder / name;
        if (std::string(name) != "page.jbg") {
            ASSERT_TRUE(test::MakeTestImage(path, 90, 60, "-type TrueColor"));
        }
        EXPECT_EQ(Feed(test::ReadFile(path), 100), kImagingSuccess);
        ASSERT_EQ(Widths.size(), 1U);
        EXPECT_EQ(Widths[0], 90);
        EXPECT_EQ(Events, (std::vector<std::string>{"FIRSTROW", "LASTROW"}));
        // Each is complete with its last byte, before the feed ends.
        ASSERT_EQ(DeliveredWhileFinalizing.size(), 1U);
        EXPECT_FALSE(DeliveredWhileFinalizing[0]);
    }
}

TEST_F(ImageStreamTest, EveryPageOfAPdfIsDeliveredWhenTheFeedEnds) {
    const std::string tiff = Folder / "three.tif";
    for (int page = 0; page < 3; ++page) {
        TBitmap bitmap = TBitmap::Create(100 + 50 * page, 100, 1);
        bitmap.SetResolution(100, 100);
        ASSERT_EQ(SaveBitmap(tiff, bitmap, kFormatTiffG4, 1, 0, page == 0 ? 0 : kSaveAppend), kImagingSuccess);
    }
    const std::string pdf = Folder / "three.pdf";
    ASSERT_EQ(test::RunCommand("tiff2pdf -o '" + pdf + "' '" + tiff + "'"), 0);
    EXPECT_EQ(Feed(test::ReadFile(pdf), 1000), kImagingSuccess);
    // 1, 1.5 and 2 inches wide at 200 dpi.
    EXPECT_EQ(Widths, (std::vector<int>{200, 300, 400}));
}

TEST_F(ImageStreamTest, TheFirstRowIsAnnouncedWithTheHeader) {
    const std::string png = Folder / "page.png";
    ASSERT_TRUE(test::MakeTestImage(png, 400, 300, "-type TrueColor -noise 3"));
    const std::string bytes = test::ReadFile(png);
    std::size_t firstRowAt = 0;
    Stream.OnFirstRow = [&](const std::string&, const TImageFileInfo& info) {
        firstRowAt = Fed;
        EXPECT_EQ(info.Width, 400);
    };
    Feed(bytes, 64);
    EXPECT_LT(firstRowAt, 1024U);
    EXPECT_EQ(Widths.size(), 1U);
}

// A bitmap file whose header misstates its size is still delivered, once, at the end.
TEST_F(ImageStreamTest, BitmapsWithAWrongStatedSizeArriveAtTheEnd) {
    const std::string path = Folder / "page.bmp";
    ASSERT_TRUE(test::MakeTestImage(path, 90, 60, "-type TrueColor"));
    const std::string original = test::ReadFile(path);
    for (const std::uint32_t stated : {0U, 60U, 0xffffffffU}) {
        SCOPED_TRACE(stated);
        std::string bytes = original;
        for (int index = 0; index < 4; ++index) {
            bytes[static_cast<std::size_t>(2 + index)] = static_cast<char>((stated >> (8 * index)) & 0xff);
        }
        Widths.clear();
        DeliveredWhileFinalizing.clear();
        EXPECT_EQ(Feed(bytes, 100), kImagingSuccess);
        EXPECT_EQ(Widths, (std::vector<int>{90}));
        EXPECT_EQ(DeliveredWhileFinalizing, (std::vector<bool>{true}));
    }
}

TEST_F(ImageStreamTest, IncompleteOrForeignDataNeverReachesTheLastRow) {
    for (const char* name : {"half.png", "half.jpg", "half.gif", "half.bmp", "half.webp"}) {
        SCOPED_TRACE(name);
        const std::string path = Folder / name;
        ASSERT_TRUE(test::MakeTestImage(path, 300, 300, "-type TrueColor +noise Random"));
        const std::string bytes = test::ReadFile(path);
        Feed(bytes, 512, bytes.size() / 2);
        EXPECT_TRUE(Widths.empty());
    }

    TBitmap bitmap = TBitmap::Create(64, 64, 1);
    const std::string tiff = Folder / "two.tif";
    ASSERT_EQ(SaveBitmap(tiff, bitmap, kFormatTiffG4, 1, 0, 0), kImagingSuccess);
    ASSERT_EQ(SaveBitmap(tiff, bitmap, kFormatTiffG4, 1, 0, kSaveAppend), kImagingSuccess);
    const std::string tiffBytes = test::ReadFile(tiff);
    Feed(tiffBytes, 16, tiffBytes.size() - 10);
    EXPECT_LE(Widths.size(), 1U);

    Widths.clear();
    EXPECT_EQ(Feed(std::string(5000, 'x'), 256), kImagingFailure);
    EXPECT_TRUE(Widths.empty());
    EXPECT_EQ(Stream.FeedData(reinterpret_cast<const std::uint8_t*>("ab"), 2), kImagingFailure);
}

TEST_F(ImageStreamTest, LogsItsCallsWithTheirResults) {
    const std::string png = Folder / "page.png";
    ASSERT_TRUE(test::MakeTestImage(png, 20, 20, ""));
    Feed(test::ReadFile(png), 1 << 20);
    const std::vector<std::string> lines = LogLines();
    for (const char* expected : {"Initialize BEGIN", "Initialize END Result=1", "FeedData BEGIN",
                                 "FeedData END Result=1", "Finalize BEGIN", "Finalize END Result=1",
                                 "TImageStream Callback OnLoadCB Status=FIRSTROW",
                                 "TImageStream Callback OnLoadCB Status=LASTROW"}) {
        SCOPED_TRACE(expected);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [expected](const std::string& line) {
            return line.size() >= std::string_view(expected).size() &&
                   line.compare(line.size() - std::string_view(expected).size(), std::string::npos, expected) == 0;
        }));
    }
}

}  // namespace
}  // namespace paxid
