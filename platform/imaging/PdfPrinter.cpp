#include "platform/imaging/PdfPrinter.h"

#include "platform/diagnostics/PlatformLog.h"

#include <utility>

namespace paxid {

namespace {

constexpr double kPointsPerInch = 72.0;
// A device without a resolution is taken as this many dots per inch.
constexpr int kFallbackResolution = 300;
// Colour and gray pictures are compressed with this JPEG quality.
constexpr int kPrintJpegQuality = 90;

}  // namespace

TPdfPrinter::TPdfPrinter(std::string fileName, int xResolution, int yResolution, int pageWidth, int pageHeight)
    : FFileName(std::move(fileName)),
      FXResolution(xResolution),
      FYResolution(yResolution),
      FPageWidth(pageWidth),
      FPageHeight(pageHeight) {}

TPdfPrinter::~TPdfPrinter() {
    if (FPrinting) {
        EndDoc();
    }
}

double TPdfPrinter::ToPointsX(int dots) const {
    return dots * kPointsPerInch / (FXResolution > 0 ? FXResolution : kFallbackResolution);
}

double TPdfPrinter::ToPointsY(int dots) const {
    return dots * kPointsPerInch / (FYResolution > 0 ? FYResolution : kFallbackResolution);
}

void TPdfPrinter::BeginDoc() {
    FWritten = false;
    FPrinting = FWriter.Open(FFileName, false) && FWriter.AddPage(ToPointsX(FPageWidth), ToPointsY(FPageHeight));
    if (!FPrinting) {
        PlatformLog("TPdfPrinter", "BeginDoc cannot start " + FFileName);
        FWriter.Discard();
    }
}

void TPdfPrinter::EndDoc() {
    if (!FPrinting) {
        return;
    }
    FPrinting = false;
    FWritten = FWriter.Commit();
}

void TPdfPrinter::NewPage() {
    if (FPrinting) {
        FWriter.AddPage(ToPointsX(FPageWidth), ToPointsY(FPageHeight));
    }
}

bool TPdfPrinter::DrawBitmap(const TBitmap& bitmap, int left, int top, int width, int height) {
    if (!FPrinting || bitmap.IsEmpty()) {
        return false;
    }
    const TPrintRect rect =
        ResolvePrintRect(bitmap.Width(), bitmap.Height(), left, top, width, height, FPageWidth, FPageHeight);
    TPdfImage image;
    if (!EncodePdfImage(bitmap, kPrintJpegQuality, image)) {
        return false;
    }
    return FWriter.DrawImage(std::move(image), ToPointsX(rect.Left), ToPointsY(rect.Top), ToPointsX(rect.Width),
                             ToPointsY(rect.Height));
}

}  // namespace paxid
