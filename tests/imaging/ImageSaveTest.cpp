#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

using test::CaptureCommand;
using test::MakeTestImage;
using test::PdfInfoField;
using test::RunCommand;

const TColor kBlack{0, 0, 0};
const TColor kWhite{255, 255, 255};

// A 200 x 100 page at 100 dpi with a black block in its left half.
class ImageSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeTestImage(Folder / "source.png", 200, 100, "-type TrueColor", 20, 20, 79, 79));
        ASSERT_EQ(LoadPage(Folder / "source.png", 0, Colour), kImagingSuccess);
        Colour.SetResolution(100, 100);
        ASSERT_TRUE(MakeTestImage(Folder / "mono.png", 200, 100, "-monochrome", 20, 20, 79, 79));
        ASSERT_EQ(LoadPage(Folder / "mono.png", 0, Bitonal), kImagingSuccess);
        ASSERT_EQ(Bitonal.BitsPerPixel(), 1);
        Bitonal.SetResolution(100, 100);
    }

    test::TScratchFolder Folder;
    TBitmap Colour;
    TBitmap Bitonal;
};

TEST_F(ImageSaveTest, EachFormatOpensInIndependentTools) {
    struct TCase {
        const char* Name;
        int Format;
        bool FromBitonal;
        const char* FileName;
        const char* ToolCommand;  // run on the file; its output must contain Expect
        const char* Expect;
    };
    const TCase cases[] = {
        {"bmp", kFormatBmp, false, "out.bmp", "file -b", "PC bitmap"},
        {"jpeg", kFormatJpeg, false, "out.jpg", "file -b", "JPEG image data"},
        {"tiff jpeg", kFormatTiffJpeg, false, "jpeg.tif", "tiffinfo", "Compression Scheme: JPEG"},
        {"tiff group 4", kFormatTiffG4, true, "g4.tif", "tiffinfo", "Compression Scheme: CCITT Group 4"},
        {"tiff group 4 from colour", kFormatTiffG4, false, "g4c.tif", "tiffinfo", "Compression Scheme: CCITT Group 4"},
        {"pdf group 4", kFormatPdfG4, true, "g4.pdf", "pdfimages -list", "ccitt"},
        {"pdf jpeg", kFormatPdfJpeg, false, "jpeg.pdf", "pdfimages -list", "jpeg"},
        {"jbig", kFormatJbig, true, "out.jbg", "jbgtopbm", "P4"},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        const std::string path = Folder / item.FileName;
        const TBitmap& source = item.FromBitonal ? Bitonal : Colour;
        ASSERT_EQ(SaveBitmap(path, source, item.Format, source.BitsPerPixel(), 20, 0), kImagingSuccess);
        const std::string output = CaptureCommand(std::string(item.ToolCommand) + " '" + path + "'");
        EXPECT_NE(output.find(item.Expect), std::string::npos) << output;
        TBitmap back;
        ASSERT_EQ(LoadPage(path, 1, back), kImagingSuccess);
        const bool pdf = item.Format == kFormatPdfG4 || item.Format == kFormatPdfJpeg;
        // PDF pages come back at 200 dpi: twice the 100 dpi of the source.
        const int scale = pdf ? 2 : 1;
        EXPECT_EQ(back.Width(), 200 * scale);
        EXPECT_EQ(back.Height(), 100 * scale);
        const TColor inside = back.PixelColor(50 * scale, 50 * scale);
        const TColor outside = back.PixelColor(150 * scale, 50 * scale);
        EXPECT_LT(inside.Red + inside.Green + inside.Blue, 60);
        EXPECT_GT(outside.Red + outside.Green + outside.Blue, 700);
        if (item.Format == kFormatTiffG4 || item.Format == kFormatTiffJpeg || item.Format == kFormatBmp) {
            EXPECT_EQ(back.XResolution(), 100);
        }
    }
    EXPECT_EQ(PdfInfoField(Folder / "g4.pdf", "Page size"), "144 x 72 pts");
}

TEST_F(ImageSaveTest, JbigRoundTripsBitForBit) {
    const std::string jbig = Folder / "page.jbg";
    ASSERT_EQ(SaveBitmap(jbig, Bitonal, kFormatJbig, 1, 0, 0), kImagingSuccess);
    const std::string ours = Folder / "ours.pbm";
    const std::string theirs = Folder / "theirs.pbm";
    ASSERT_EQ(RunCommand("jbgtopbm '" + jbig + "' '" + ours + "'"), 0);
    ASSERT_EQ(RunCommand(test::kConvert + " '" + (Folder / "mono.png") + "' -monochrome '" + theirs + "'"), 0);
    const TBitmap decodedByTool(pixRead(ours.c_str()));
    const TBitmap original(pixRead(theirs.c_str()));
    EXPECT_TRUE(test::SamePixels(decodedByTool, original));
    TBitmap decodedByUs;
    ASSERT_EQ(LoadPage(jbig, 0, decodedByUs), kImagingSuccess);
    EXPECT_TRUE(test::SamePixels(decodedByUs, Bitonal));
}

TEST_F(ImageSaveTest, AppendAddsPagesAndPlainSaveStartsAgain) {
    for (const int format : {kFormatTiffG4, kFormatTiffJpeg, kFormatPdfG4, kFormatPdfJpeg}) {
        SCOPED_TRACE(format);
        const bool pdf = format == kFormatPdfG4 || format == kFormatPdfJpeg;
        const std::string path = Folder / (pdf ? "pages.pdf" : "pages.tif");
        const TBitmap& source = format == kFormatTiffG4 || format == kFormatPdfG4 ? Bitonal : Colour;
        // Three separate saves: each one writes the file completely.
        ASSERT_EQ(SaveBitmap(path, source, format, source.BitsPerPixel(), 20, 0), kImagingSuccess);
        ASSERT_EQ(SaveBitmap(path, source, format, source.BitsPerPixel(), 20, kSaveAppend), kImagingSuccess);
        ASSERT_EQ(SaveBitmap(path, source, format, source.BitsPerPixel(), 20, kSaveAppend), kImagingSuccess);
        TImageFileInfo info;
        ASSERT_EQ(FileInfo(path, 0, info), kImagingSuccess);
        EXPECT_EQ(info.TotalPages, 3);
        if (pdf) {
            EXPECT_EQ(PdfInfoField(path, "Pages"), "3");
        } else {
            EXPECT_EQ(RunCommand("tiffinfo '" + path + "' | grep -c 'TIFF Directory' | grep -qx 3"), 0);
        }
        ASSERT_EQ(SaveBitmap(path, source, format, source.BitsPerPixel(), 20, 0), kImagingSuccess);
        ASSERT_EQ(FileInfo(path, 0, info), kImagingSuccess);
        EXPECT_EQ(info.TotalPages, 1);
    }
}

TEST_F(ImageSaveTest, SessionWritesManyPdfPagesOnce) {
    const std::string path = Folder / "session.pdf";
    {
        TSaveSession session;
        for (int page = 0; page < 5; ++page) {
            ASSERT_EQ(session.Save(path, page % 2 == 0 ? Bitonal : Colour, page % 2 == 0 ? kFormatPdfG4 : kFormatPdfJpeg,
                                   0, 20, kSaveAppend),
                      kImagingSuccess);
        }
        // Nothing is on disk until the session completes the file.
        EXPECT_FALSE(std::filesystem::exists(path));
        ASSERT_EQ(session.Commit(), kImagingSuccess);
    }
    EXPECT_EQ(PdfInfoField(path, "Pages"), "5");
    EXPECT_EQ(RunCommand("qpdf --check '" + path + "' >/dev/null"), 0);
}

TEST_F(ImageSaveTest, CompressedGroupFourPagesAreCarriedOverUnchanged) {
    const std::string source = Folder / "source.tif";
    ASSERT_EQ(SaveBitmap(source, Bitonal, kFormatTiffG4, 1, 0, 0), kImagingSuccess);
    ASSERT_EQ(SaveBitmap(source, Bitonal, kFormatTiffG4, 1, 0, kSaveAppend), kImagingSuccess);
    const std::string tiff = Folder / "copy.tif";
    const std::string pdf = Folder / "copy.pdf";
    {
        TSaveSession session;
        for (int page = 1; page <= 2; ++page) {
            ASSERT_EQ(session.SaveCompressedG4(tiff, source, page, kFormatTiffG4, kSaveAppend), kImagingSuccess);
        }
        for (int page = 1; page <= 2; ++page) {
            ASSERT_EQ(session.SaveCompressedG4(pdf, source, page, kFormatPdfG4, kSaveAppend), kImagingSuccess);
        }
        ASSERT_EQ(session.Commit(), kImagingSuccess);
    }
    TBitmap original;
    TBitmap copied;
    ASSERT_EQ(LoadPage(source, 2, original), kImagingSuccess);
    ASSERT_EQ(LoadPage(tiff, 2, copied), kImagingSuccess);
    EXPECT_TRUE(test::SamePixels(original, copied));
    EXPECT_EQ(PdfInfoField(pdf, "Pages"), "2");
    EXPECT_EQ(PdfInfoField(pdf, "Page size"), "144 x 72 pts");
    // A JPEG page is not group 4 and is refused, with nothing written.
    const std::string jpeg = Folder / "jpeg.tif";
    ASSERT_EQ(SaveBitmap(jpeg, Colour, kFormatTiffJpeg, 24, 20, 0), kImagingSuccess);
    TSaveSession session;
    EXPECT_EQ(session.SaveCompressedG4(Folder / "none.pdf", jpeg, 1, kFormatPdfG4, kSaveAppend), kImagingFailure);
    EXPECT_EQ(session.Commit(), kImagingSuccess);
    EXPECT_FALSE(std::filesystem::exists(Folder / "none.pdf"));
}

TEST_F(ImageSaveTest, ReplacePageRewritesOnlyThatPage) {
    const std::string path = Folder / "three.tif";
    TBitmap blank = TBitmap::Create(200, 100, 1);
    for (int page = 0; page < 3; ++page) {
        ASSERT_EQ(SaveBitmap(path, blank, kFormatTiffG4, 1, 0, page == 0 ? 0 : kSaveAppend), kImagingSuccess);
    }
    ASSERT_EQ(SaveBitmap(path, Bitonal, kFormatTiffG4, 1, 0, kSaveReplacePage, 2), kImagingSuccess);
    TImageFileInfo info;
    ASSERT_EQ(FileInfo(path, 0, info), kImagingSuccess);
    EXPECT_EQ(info.TotalPages, 3);
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        TBitmap loaded;
        ASSERT_EQ(LoadPage(path, page, loaded), kImagingSuccess);
        EXPECT_EQ(loaded.PixelColor(50, 50), page == 2 ? kBlack : kWhite);
    }
    EXPECT_EQ(SaveBitmap(path, Bitonal, kFormatTiffG4, 1, 0, kSaveReplacePage, 7), kImagingFailure);
    ASSERT_EQ(FileInfo(path, 0, info), kImagingSuccess);
    EXPECT_EQ(info.TotalPages, 3);
}

TEST(JpegQuality, FactorMapsOntoLibjpegQuality) {
    EXPECT_EQ(JpegQualityFromFactor(2), 100);
    EXPECT_EQ(JpegQualityFromFactor(0), 100);
    EXPECT_EQ(JpegQualityFromFactor(255), 1);
    EXPECT_GT(JpegQualityFromFactor(20), JpegQualityFromFactor(48));
}

}  // namespace
}  // namespace paxid
