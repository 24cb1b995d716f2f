#pragma once

#include "platform/imaging/PdfWriter.h"
#include "platform/imaging/Printer.h"

#include <string>

namespace paxid {

// A printer whose output is a PDF file: one PDF page per printer page, each
// of the printer's page size; the file is written at EndDoc.
class TPdfPrinter : public TPrinter {
public:
    // Resolution in dots per inch and printable size in dots, as a device reports them.
    TPdfPrinter(std::string fileName, int xResolution, int yResolution, int pageWidth, int pageHeight);
    ~TPdfPrinter() override;

    int XResolution() const override { return FXResolution; }
    int YResolution() const override { return FYResolution; }
    int PageWidth() const override { return FPageWidth; }
    int PageHeight() const override { return FPageHeight; }
    void SetTitle(const std::string& title) override { FWriter.SetTitle(title); }
    void BeginDoc() override;
    void EndDoc() override;
    void NewPage() override;
    bool Printing() const override { return FPrinting; }
    bool DrawBitmap(const TBitmap& bitmap, int left, int top, int width, int height) override;

    // False when the last EndDoc could not write the file.
    bool Written() const { return FWritten; }

private:
    double ToPointsX(int dots) const;
    double ToPointsY(int dots) const;

    std::string FFileName;
    int FXResolution;
    int FYResolution;
    int FPageWidth;
    int FPageHeight;
    bool FPrinting = false;
    bool FWritten = false;
    TPdfWriter FWriter;
};

}  // namespace paxid
