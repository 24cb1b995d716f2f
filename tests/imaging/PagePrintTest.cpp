#include "document/pPagePrint.h"
#include "foundation/pLog.h"
#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "platform/imaging/PdfPrinter.h"
#include "platform/imaging/RecordingPrinter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace paxid {
namespace {

using TEventKind = TRecordingPrinter::TEventKind;
const TColor kBlack{0, 0, 0};
const TColor kWhite{255, 255, 255};

TBitmap Page(int width, int height, int bitsPerPixel, int xResolution, int yResolution) {
    TBitmap page = TBitmap::Create(width, height, bitsPerPixel);
    page.SetResolution(xResolution, yResolution);
    return page;
}

void MarkBlock(TBitmap& page, int left, int top, int size) {
    TBitmap block = TBitmap::Create(size, size, page.BitsPerPixel());
    FillBitmap(block, kBlack);
    CombineBitmap(page, left, top, size, size, block, 0, 0, kCombineCopy);
}

int NewPages(const TRecordingPrinter& printer) {
    const auto& events = printer.Events();
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [](const auto& event) { return event.Kind == TEventKind::NewPage; }));
}

bool LogHas(const std::string& text) {
    const std::vector<std::string> lines = LogLines();
    return std::any_of(lines.begin(), lines.end(), [&text](const std::string& line) {
        return line.size() >= text.size() && line.compare(line.size() - text.size(), std::string::npos, text) == 0;
    });
}

// An A4 page scanned at 300 dpi (2480 x 3508) on a 600 dpi printer with a
// printable area of 4800 x 6800 dots: 4960 x 7016 dots at its size.
class A4PrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        Scan = Page(2480, 3508, 1, 300, 300);
        // One block in each quarter, to tell the tiles apart.
        MarkBlock(Scan, 100, 100, 50);     // left top
        MarkBlock(Scan, 100, 1854, 60);    // left bottom
        MarkBlock(Scan, 1340, 100, 70);    // right top
        MarkBlock(Scan, 1340, 1854, 80);   // right bottom
    }
    TBitmap Scan;
    TRecordingPrinter Printer{600, 600, 4800, 6800};
};

TEST_F(A4PrintTest, FitToPageDrawsOnceFittedToThePrintableArea) {
    Printer.BeginDoc();
    TBitmap copy = Scan;
    PrintLeadBitmap(Printer, copy, true);
    Printer.EndDoc();
    const auto draws = Printer.Draws();
    ASSERT_EQ(draws.size(), 1U);
    EXPECT_EQ(draws[0]->Requested, (TPrintRect{0, 0, 0, 0}));
    EXPECT_EQ(draws[0]->Placed.Width, 4800);
    EXPECT_LE(draws[0]->Placed.Height, 6800);
    EXPECT_EQ(NewPages(Printer), 0);
    EXPECT_TRUE(LogHas("PrintLeadBitmap (imgPrintWidth > Printer.PageWidth) or (imgPrintHeight > Printer.PageHeight)=True"));
    EXPECT_TRUE(LogHas("PrintLeadBitmap FitToPage=True"));
}

TEST_F(A4PrintTest, WithoutFitItPrintsFourTilesColumnByColumn) {
    Printer.BeginDoc();
    TBitmap copy = Scan;
    PrintLeadBitmap(Printer, copy, false);
    Printer.EndDoc();
    const auto draws = Printer.Draws();
    ASSERT_EQ(draws.size(), 4U);
    EXPECT_EQ(NewPages(Printer), 3);
    const int blockSizes[] = {50, 60, 70, 80};  // left top, left bottom, right top, right bottom
    for (std::size_t index = 0; index < draws.size(); ++index) {
        SCOPED_TRACE(index);
        const TBitmap& tile = draws[index]->Bitmap;
        EXPECT_EQ(tile.Width(), 1240);
        EXPECT_EQ(tile.Height(), 1754);
        EXPECT_EQ(tile.XResolution(), 300);
        EXPECT_EQ(draws[index]->Page, static_cast<int>(index));
        // Each tile prints at its own physical size.
        EXPECT_EQ(draws[index]->Requested, (TPrintRect{0, 0, 2480, 3508}));
        const int size = blockSizes[index];
        EXPECT_EQ(tile.PixelColor(100, 100), kBlack);
        EXPECT_EQ(tile.PixelColor(100 + size - 1, 100 + size - 1), kBlack);
        EXPECT_EQ(tile.PixelColor(100 + size, 100 + size), kWhite);
    }
    EXPECT_TRUE(LogHas("PrintLeadBitmap PrintLeadBitmap RECURSION"));
}

TEST(PagePrint, LayoutRules) {
    struct TCase {
        const char* Name;
        int Width, Height, XResolution, YResolution;
        int PrinterResolution, PageWidth, PageHeight;
        std::size_t Draws;
        TPrintRect Requested;  // of the first draw
        int FirstWidth;        // bitmap width of the first draw
    };
    const TCase cases[] = {
        {"small page prints at its size", 300, 400, 100, 100, 200, 1600, 2200, 1, {0, 0, 600, 800}, 300},
        {"landscape image is turned for a portrait page", 400, 300, 100, 100, 100, 850, 1100, 1, {0, 0, 300, 400}, 300},
        {"image without resolution is fitted", 30, 40, 0, 0, 600, 4800, 6800, 1, {0, 0, 0, 0}, 30},
        {"printer without resolution counts 300 dpi", 300, 400, 100, 100, 0, 2400, 3300, 1, {0, 0, 900, 1200}, 300},
        {"exactly twice the page width gives three columns", 100, 300, 100, 100, 100, 50, 1000, 3, {0, 0, 33, 300}, 33},
        {"one resolution known gives one size", 300, 400, 100, 0, 100, 850, 1100, 1, {0, 0, 300, 0}, 300},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        TRecordingPrinter printer(item.PrinterResolution, item.PrinterResolution, item.PageWidth, item.PageHeight);
        printer.BeginDoc();
        TBitmap page = Page(item.Width, item.Height, 24, item.XResolution, item.YResolution);
        PrintLeadBitmap(printer, page, false);
        printer.EndDoc();
        const auto draws = printer.Draws();
        ASSERT_EQ(draws.size(), item.Draws);
        EXPECT_EQ(draws[0]->Requested, item.Requested);
        EXPECT_EQ(draws[0]->Bitmap.Width(), item.FirstWidth);
        EXPECT_EQ(NewPages(printer), static_cast<int>(item.Draws) - 1);
    }
}

TEST(PagePrint, TurningIsClockwiseAndKeepsTheResolutionValues) {
    TRecordingPrinter printer(100, 100, 850, 1100);
    TBitmap page = Page(400, 300, 24, 50, 100);  // 8 x 3 inches
    MarkBlock(page, 0, 0, 10);  // top-left corner
    printer.BeginDoc();
    PrintLeadBitmap(printer, page, true);
    const auto draws = printer.Draws();
    ASSERT_EQ(draws.size(), 1U);
    const TBitmap& turned = draws[0]->Bitmap;
    EXPECT_EQ(turned.Width(), 300);
    EXPECT_EQ(turned.PixelColor(295, 5), kBlack);  // now the top-right corner
    EXPECT_EQ(turned.XResolution(), 50);
    EXPECT_EQ(turned.YResolution(), 100);
    EXPECT_TRUE(LogHas("PrintLeadBitmap prtLandscape <> imgLandscape"));
    EXPECT_TRUE(LogHas("PrintLeadBitmap L_RotateBitmap"));
}

// A device whose drawing fails by throwing, as a driver error would.
class TThrowingPrinter : public TRecordingPrinter {
public:
    using TRecordingPrinter::TRecordingPrinter;
    bool DrawBitmap(const TBitmap&, int, int, int, int) override { throw std::runtime_error("device gone"); }
};

TEST(PagePrint, ADeviceFailureIsLoggedAndSwallowed) {
    TThrowingPrinter printer(300, 300, 2400, 3300);
    printer.BeginDoc();
    TBitmap page = Page(300, 400, 1, 300, 300);
    EXPECT_NO_THROW(PrintLeadBitmap(printer, page, true));
    EXPECT_TRUE(LogHas("PrintLeadBitmap L_PrintBitmapExt EXCEPTION"));
    EXPECT_TRUE(LogHas("PrintLeadBitmap END"));
}

// A three-page job keeps three printer pages even when a page cannot be loaded.
TEST(PagePrint, ImageFilesOfAJobEachGetAPage) {
    test::TScratchFolder folder;
    const std::string good = folder / "page.tif";
    ASSERT_EQ(SaveBitmap(good, Page(200, 300, 1, 100, 100), kFormatTiffG4, 1, 0, 0), kImagingSuccess);
    TRecordingPrinter printer(100, 100, 850, 1100);
    printer.BeginDoc();
    PrintImageFile(printer, good, 1, false, true);
    PrintImageFile(printer, folder / "missing.tif", 1, false, true);
    PrintImageFile(printer, good, 1, true, true);
    printer.EndDoc();
    EXPECT_EQ(printer.PageCount(), 3);
    const auto draws = printer.Draws();
    ASSERT_EQ(draws.size(), 2U);
    EXPECT_EQ(draws[0]->Page, 0);
    EXPECT_EQ(draws[1]->Page, 2);
    EXPECT_TRUE(LogHas("PrintImageFile L_LoadBitmap"));
}

TEST(PdfPrinter, WritesOnePdfPagePerPrinterPageAtThePageSize) {
    test::TScratchFolder folder;
    const std::string path = folder / "printed.pdf";
    // 600 dpi, 8 x 10 inches printable.
    TPdfPrinter printer(path, 600, 600, 4800, 6000);
    printer.SetTitle("Scan 7");
    printer.BeginDoc();
    EXPECT_TRUE(printer.Printing());
    TBitmap bitonal = Page(2400, 3000, 1, 300, 300);
    MarkBlock(bitonal, 0, 0, 300);
    PrintLeadBitmap(printer, bitonal, true);
    printer.NewPage();
    TBitmap colour = Page(600, 800, 24, 0, 0);
    PrintLeadBitmap(printer, colour, true);
    printer.EndDoc();
    EXPECT_FALSE(printer.Printing());
    ASSERT_TRUE(printer.Written());
    EXPECT_EQ(test::PdfInfoField(path, "Pages"), "2");
    EXPECT_EQ(test::PdfInfoField(path, "Page size"), "576 x 720 pts");
    EXPECT_EQ(test::PdfInfoField(path, "Title"), "Scan 7");
    // The block of the first page: one inch at the top-left corner.
    const std::string raster = folder / "page";
    ASSERT_EQ(test::RunCommand("pdftoppm -r 20 -f 1 -l 1 -gray '" + path + "' '" + raster + "'"), 0);
    TBitmap rendered(pixRead((raster + "-1.pgm").c_str()));
    ASSERT_FALSE(rendered.IsEmpty());
    EXPECT_LT(rendered.PixelColor(10, 10).Red, 60);
    EXPECT_GT(rendered.PixelColor(30, 30).Red, 200);
}

}  // namespace
}  // namespace paxid
