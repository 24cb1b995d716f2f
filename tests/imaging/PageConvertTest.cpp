#include "document/pPageConvert.h"
#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

using test::CaptureCommand;
using test::RunCommand;

const TColor kBlack{0, 0, 0};

// Source pages of each kind: a two-page group 4 TIFF, a colour PNG, a PDF.
class PageConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::MakeTestImage(Folder / "a.tif", 300, 200, "-monochrome -compress Group4 -density 100 -units PixelsPerInch"));
        ASSERT_TRUE(test::MakeTestImage(Folder / "b.tif", 200, 300, "-monochrome -compress Group4 -density 100 -units PixelsPerInch", 50, 50, 150, 150));
        ASSERT_EQ(RunCommand("tiffcp '" + (Folder / "a.tif") + "' '" + (Folder / "b.tif") + "' '" + Bitonal + "'"), 0);
        ASSERT_TRUE(test::MakeTestImage(Colour, 120, 80, "-type TrueColor -fill red -draw 'rectangle 60,40 100,70'"));
        ASSERT_EQ(RunCommand("tiff2pdf -o '" + Pdf + "' '" + (Folder / "a.tif") + "'"), 0);
    }

    std::string Compressions(const std::string& tiff) {
        return CaptureCommand("tiffinfo '" + tiff + "' | grep 'Compression Scheme'");
    }

    test::TScratchFolder Folder;
    std::string Bitonal = Folder / "bitonal.tif";
    std::string Colour = Folder / "colour.png";
    std::string Pdf = Folder / "page.pdf";
};

TEST_F(PageConvertTest, ConvertToTiffAppendsGroupFourOrJpegPages) {
    const std::string dest = Folder / "out.tif";
    ConvertToTiff(Bitonal, 2, dest, 20);
    ConvertToTiff(Colour, 0, dest, 20);
    ConvertToTiff(Pdf, 1, dest, 20);
    ConvertToTiff(Folder / "missing.tif", 1, dest, 20);
    EXPECT_EQ(Compressions(dest),
              "  Compression Scheme: CCITT Group 4\n  Compression Scheme: JPEG\n  Compression Scheme: JPEG\n");
    TBitmap converted;
    TBitmap original;
    ASSERT_EQ(LoadPage(dest, 1, converted), kImagingSuccess);
    ASSERT_EQ(LoadPage(Bitonal, 2, original), kImagingSuccess);
    EXPECT_TRUE(test::SamePixels(converted, original));
    EXPECT_EQ(converted.XResolution(), 100);
}

TEST_F(PageConvertTest, ConvertToPdfInOneSessionWritesAllPages) {
    const std::string dest = Folder / "out.pdf";
    {
        TSaveSession session;
        ConvertToPdf(Bitonal, 1, dest, 20, &session);
        ConvertToPdf(Bitonal, 2, dest, 20, &session);
        ConvertToPdf(Colour, 0, dest, 20, &session);
        ConvertToPdf(Folder / "missing.png", 0, dest, 20, &session);
    }
    EXPECT_EQ(test::PdfInfoField(dest, "Pages"), "3");
    const std::string images = CaptureCommand("pdfimages -list '" + dest + "'");
    EXPECT_NE(images.find("ccitt"), std::string::npos) << images;
    EXPECT_NE(images.find("jpeg"), std::string::npos) << images;
    // 300 x 200 pixels at 100 dpi: 3 x 2 inches.
    EXPECT_NE(CaptureCommand("pdfinfo -f 1 -l 1 '" + dest + "'").find("216 x 144 pts"), std::string::npos);

    // Without a session each call completes the file, and later calls append.
    const std::string single = Folder / "single.pdf";
    ConvertToPdf(Colour, 0, single, 20);
    ConvertToPdf(Bitonal, 2, single, 20);
    EXPECT_EQ(test::PdfInfoField(single, "Pages"), "2");
}

TEST_F(PageConvertTest, ConvertPageWritesTheFormatAsked) {
    struct TCase {
        const char* Name;
        std::string Source;
        int PageNo;
        int Format;
        const char* FileName;
        const char* FileType;  // what `file` says
    };
    const TCase cases[] = {
        {"jpeg", Colour, 0, kFormatJpeg, "out.jpg", "JPEG image data"},
        {"bitmap", Colour, 0, kFormatBmp, "out.bmp", "PC bitmap"},
        {"jbig from group 4", Bitonal, 2, kFormatJbig, "out.jbg", ""},
        {"group 4 tiff", Bitonal, 1, kFormatTiffG4, "out.tif", "TIFF image data"},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        const std::string dest = Folder / item.FileName;
        ConvertPage(item.Source, item.PageNo, dest, item.Format, 20);
        TImageFileInfo info;
        ASSERT_EQ(FileInfo(dest, 0, info), kImagingSuccess);
        EXPECT_EQ(info.Format, item.Format);
        EXPECT_NE(CaptureCommand("file -b '" + dest + "'").find(item.FileType), std::string::npos);
    }
    TBitmap jbig;
    TBitmap original;
    ASSERT_EQ(LoadPage(Folder / "out.jbg", 0, jbig), kImagingSuccess);
    ASSERT_EQ(LoadPage(Bitonal, 2, original), kImagingSuccess);
    original.SetResolution(0, 0);  // JBIG stores no resolution
    EXPECT_TRUE(test::SamePixels(jbig, original));
}

TEST_F(PageConvertTest, ReplaceTiffPageSwapsOnePageOrNothing) {
    const std::string threePages = Folder / "three.tif";
    ASSERT_EQ(RunCommand("tiffcp '" + Bitonal + "' '" + (Folder / "a.tif") + "' '" + threePages + "'"), 0);
    TBitmap replacement = TBitmap::Create(250, 250, 1);
    FillBitmap(replacement, kBlack);
    const std::string pageFile = Folder / "replacement.tif";
    ASSERT_EQ(SaveBitmap(pageFile, replacement, kFormatTiffG4, 1, 0, 0), kImagingSuccess);

    std::vector<TBitmap> before(3);
    for (int page = 1; page <= 3; ++page) {
        ASSERT_EQ(LoadPage(threePages, page, before[static_cast<std::size_t>(page - 1)]), kImagingSuccess);
    }
    std::filesystem::permissions(threePages, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                                 std::filesystem::perms::group_read);
    ReplaceTiffPage(threePages, 2, pageFile);
    // The rebuilt file keeps the permissions of the one it replaced.
    EXPECT_EQ(std::filesystem::status(threePages).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
    TImageFileInfo info;
    ASSERT_EQ(FileInfo(threePages, 0, info), kImagingSuccess);
    EXPECT_EQ(info.TotalPages, 3);
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        TBitmap after;
        ASSERT_EQ(LoadPage(threePages, page, after), kImagingSuccess);
        if (page == 2) {
            EXPECT_EQ(after.Width(), 250);
            EXPECT_EQ(after.PixelColor(125, 125), kBlack);
        } else {
            EXPECT_TRUE(test::SamePixels(after, before[static_cast<std::size_t>(page - 1)]));
        }
    }
    EXPECT_EQ(CaptureCommand("tiffinfo '" + threePages + "' | grep -c 'CCITT Group 4'"), "3\n");

    // Files that are not group 4, and replacement pages that are not, change nothing.
    const std::string lzw = Folder / "lzw.tif";
    ASSERT_TRUE(test::MakeTestImage(lzw, 50, 50, "-type TrueColor -depth 8 -compress LZW"));
    const std::string lzwBytes = test::ReadFile(lzw);
    ReplaceTiffPage(lzw, 1, pageFile);
    EXPECT_EQ(test::ReadFile(lzw), lzwBytes);
    const std::string g4Bytes = test::ReadFile(threePages);
    ReplaceTiffPage(threePages, 1, lzw);
    EXPECT_EQ(test::ReadFile(threePages), g4Bytes);
    ReplaceTiffPage(Folder / "missing.tif", 1, pageFile);
    EXPECT_FALSE(std::filesystem::exists(Folder / "missing.tif"));
}

TEST(BlankImageFile, WhiteThirtyTwoPixelPages) {
    test::TScopedEnv temp("PAXID_TEMP_DIR", std::nullopt);
    for (const int depth : {1, 8, 24}) {
        SCOPED_TRACE(depth);
        std::string fileName;
        ASSERT_TRUE(CreateBlankImageFile(depth, fileName, 48));
        EXPECT_EQ(fileName.substr(fileName.size() - 4), ".tif");
        TBitmap page;
        TImageFileInfo info;
        ASSERT_EQ(LoadPage(fileName, 0, page, &info), kImagingSuccess);
        EXPECT_EQ(info.Format, depth == 1 ? kFormatTiffG4 : kFormatTiffJpeg);
        EXPECT_EQ(page.Width(), 32);
        EXPECT_EQ(page.Height(), 32);
        EXPECT_EQ(page.BitsPerPixel(), depth);
        EXPECT_GT(page.PixelColor(16, 16).Red, 245);
        std::filesystem::remove(fileName);
    }
}

}  // namespace
}  // namespace paxid
