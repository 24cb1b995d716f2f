#include "document/pPagePrint.h"

#include "foundation/pLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <cmath>

namespace paxid {

namespace {

// A printer that reports no resolution is taken to print this many dots per inch.
constexpr int kDefaultPrinterResolution = 300;

void Log(const std::string& message) { WriteLog(nullptr, message); }

const char* Flag(bool value) { return value ? "TRUE" : "FALSE"; }

void LogBitmap(const TBitmap& bitmap) {
    Log("   pbh^.BitsPerPixel=" + std::to_string(bitmap.BitsPerPixel()));
    Log("   pbh^.Width=" + std::to_string(bitmap.Width()));
    Log("   pbh^.Height=" + std::to_string(bitmap.Height()));
    Log("   pbh^.XResolution=" + std::to_string(bitmap.XResolution()));
    Log("   pbh^.YResolution=" + std::to_string(bitmap.YResolution()));
}

void PrintAt(TPrinter& printer, const TBitmap& bitmap, int printWidth, int printHeight) {
    Log("PrintLeadBitmap L_PrintBitmapExt");
    LogBitmap(bitmap);
    try {
        printer.DrawBitmap(bitmap, 0, 0, printWidth, printHeight);
    } catch (...) {
        Log("PrintLeadBitmap L_PrintBitmapExt EXCEPTION");
    }
}

// Cuts bitmap into columns x rows tiles (remainder pixels at the right and
// bottom are not printed) and prints each on a page of its own, column by column.
void PrintTiles(TPrinter& printer, const TBitmap& bitmap, int columns, int rows) {
    const int tileWidth = bitmap.Width() / columns;
    const int tileHeight = bitmap.Height() / rows;
    const int operation = bitmap.BitsPerPixel() == 1 ? kCombineCopyBitonal : kCombineCopy;
    for (int column = 0; column < columns; ++column) {
        for (int row = 0; row < rows; ++row) {
            Log("PrintLeadBitmap L_CreateBitmap");
            TBitmap tile = TBitmap::Create(tileWidth, tileHeight, bitmap.BitsPerPixel());
            Log("PrintLeadBitmap L_FillBitmap");
            FillBitmap(tile, TColor{255, 255, 255});
            Log("PrintLeadBitmap L_CombineBitmapExt");
            CombineBitmap(tile, 0, 0, tileWidth, tileHeight, bitmap, column * tileWidth, row * tileHeight, operation);
            tile.SetResolution(bitmap.XResolution(), bitmap.YResolution());
            Log("PrintLeadBitmap PrintLeadBitmap RECURSION");
            if (!tile.IsEmpty()) {
                PrintLeadBitmap(printer, tile, true);
            }
            if (column != columns - 1 || row != rows - 1) {
                printer.NewPage();
            }
            Log("PrintLeadBitmap L_FreeBitmap");
        }
    }
}

}  // namespace

void PrintLeadBitmap(TPrinter& printer, TBitmap& bitmap, bool fitToPage) {
    Log("PrintLeadBitmap BEGIN");
    LogBitmap(bitmap);
    const int reportedX = printer.XResolution();
    const int reportedY = printer.YResolution();
    Log("PrintLeadBitmap prtXRes=" + std::to_string(reportedX));
    Log("PrintLeadBitmap prtYRes=" + std::to_string(reportedY));
    const double printerX = reportedX == 0 ? kDefaultPrinterResolution : reportedX;
    const double printerY = reportedY == 0 ? kDefaultPrinterResolution : reportedY;
    const int pageWidth = printer.PageWidth();
    const int pageHeight = printer.PageHeight();
    const bool printerLandscape = pageWidth / printerX > pageHeight / printerY;
    Log("PrintLeadBitmap Printer.PageWidth=" + std::to_string(pageWidth));
    Log("PrintLeadBitmap Printer.PageHeight=" + std::to_string(pageHeight));

    const int imageX = bitmap.XResolution();
    const int imageY = bitmap.YResolution();
    const bool imageLandscape = (imageX < 1 || imageY < 1)
                                    ? bitmap.Height() < bitmap.Width()
                                    : static_cast<double>(bitmap.Width()) / imageX >
                                          static_cast<double>(bitmap.Height()) / imageY;
    Log(std::string("PrintLeadBitmap prtLandscape=") + Flag(printerLandscape));
    Log(std::string("PrintLeadBitmap imgLandscape=") + Flag(imageLandscape));
    if (printerLandscape == imageLandscape) {
        Log("PrintLeadBitmap prtLandscape = imgLandscape");
    } else {
        Log("PrintLeadBitmap prtLandscape <> imgLandscape");
        Log("PrintLeadBitmap L_RotateBitmap");
        // The resolution values are kept as they are, not exchanged.
        RotateBitmap(bitmap, 9000);
    }

    int printWidth = 0;
    int printHeight = 0;
    if (imageX > 0 || imageY > 0) {
        if (imageX > 0) {
            Log("PrintLeadBitmap XResolution > 0");
            printWidth = static_cast<int>(std::lround(static_cast<double>(bitmap.Width()) / imageX * printerX));
        }
        if (imageY > 0) {
            Log("PrintLeadBitmap YResolution > 0");
            printHeight = static_cast<int>(std::lround(static_cast<double>(bitmap.Height()) / imageY * printerY));
        }
        if (pageWidth >= printWidth && pageHeight >= printHeight) {
            PrintAt(printer, bitmap, printWidth, printHeight);
        } else {
            Log("PrintLeadBitmap (imgPrintWidth > Printer.PageWidth) or (imgPrintHeight > Printer.PageHeight)=True");
            if (fitToPage) {
                Log("PrintLeadBitmap FitToPage=True");
                PrintAt(printer, bitmap, 0, 0);
            } else {
                Log("PrintLeadBitmap FitToPage=False");
                const int columns = pageWidth > 0 ? printWidth / pageWidth + 1 : 1;
                const int rows = pageHeight > 0 ? printHeight / pageHeight + 1 : 1;
                PrintTiles(printer, bitmap, columns, rows);
            }
        }
    } else {
        PrintAt(printer, bitmap, 0, 0);
    }
    Log("PrintLeadBitmap END");
}

void PrintImageFile(TPrinter& printer, const std::string& fileName, int pageNo, bool isLast, bool fitToPage) {
    Log("PrintImageFile BEGIN");
    Log("PrintImageFile L_LoadBitmap");
    TBitmap bitmap;
    TImageFileInfo info;
    if (LoadPage(fileName, pageNo, bitmap, &info) == kImagingSuccess) {
        Log("PrintImageFile PrintLeadBitmap");
        PrintLeadBitmap(printer, bitmap, fitToPage);
    }
    if (!isLast) {
        printer.NewPage();
    }
    Log("PrintImageFile END");
}

}  // namespace paxid
