#pragma once

#include "platform/imaging/Bitmap.h"

#include <string>

namespace paxid {

// A rectangle on the printed page in printer dots from the top-left corner
// of the printable area.
struct TPrintRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TPrintRect&, const TPrintRect&) = default;
};

// The printer the print routines draw on: the process's single printer in
// the viewer, a recording printer in the tests, a PDF file for the CLI.
// Main thread only.
class TPrinter {
public:
    virtual ~TPrinter() = default;

    // Device resolution in dots per inch; 0 when the device reports none.
    virtual int XResolution() const = 0;
    virtual int YResolution() const = 0;
    // Printable page size in printer dots.
    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;

    virtual void SetTitle(const std::string& title) = 0;
    virtual void BeginDoc() = 0;
    virtual void EndDoc() = 0;
    virtual void NewPage() = 0;
    // True between BeginDoc and EndDoc.
    virtual bool Printing() const = 0;

    // Draws bitmap into the rectangle (printer dots). Width and height 0 fit
    // the bitmap to the printable page; one of them 0 takes it from the other
    // by the bitmap's proportions. False when nothing was drawn.
    virtual bool DrawBitmap(const TBitmap& bitmap, int left, int top, int width, int height) = 0;
};

// The rectangle a DrawBitmap request covers once 0 sizes are resolved: fit
// keeps the bitmap's proportions and sits at the requested corner.
TPrintRect ResolvePrintRect(int bitmapWidth, int bitmapHeight, int left, int top, int width, int height,
                            int pageWidth, int pageHeight);

}  // namespace paxid
