#pragma once

#include "platform/imaging/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paxid {

// An image as a PDF image object carries it: compressed data the PDF reader
// decodes itself (CCITT group 4 for bitonal pages, JPEG otherwise).
struct TPdfImage {
    enum class TKind { GroupFour, Jpeg };
    TKind Kind = TKind::GroupFour;
    std::vector<std::uint8_t> Data;
    int Width = 0;   // image pixels
    int Height = 0;
    int Components = 1;      // 1 gray or bitonal, 3 RGB
    // Group 4 data codes white and black runs; it was made from a page whose
    // 0 bits are black (TIFF min-is-black), so the decoded bits read inverted.
    bool MinIsBlack = false;
};

// Compresses bitmap for a PDF: a 1-bit bitmap as group 4, 8 or 24 bits as
// JPEG of jpegQuality (1..100). False when it cannot.
bool EncodePdfImage(const TBitmap& bitmap, int jpegQuality, TPdfImage& image);

// Builds one PDF document in memory (qpdf) and writes it once, atomically,
// when committed: many pages cost one write. Main thread or loader, one
// thread at a time.
class TPdfWriter {
public:
    TPdfWriter();
    ~TPdfWriter();
    TPdfWriter(const TPdfWriter&) = delete;
    TPdfWriter& operator=(const TPdfWriter&) = delete;

    // Starts the document for fileName; with appendToExisting the pages of an
    // existing fileName come first. False when that file cannot be read.
    bool Open(const std::string& fileName, bool appendToExisting);
    bool IsOpen() const;
    const std::string& FileName() const { return FFileName; }

    // A new last page of widthPoints x heightPoints (1/72 inch).
    bool AddPage(double widthPoints, double heightPoints);
    // Draws image into a rectangle of the last page, in points from its top-left corner.
    bool DrawImage(const TPdfImage& image, double left, double top, double width, double height);
    // The same, taking over the image's data instead of copying it.
    bool DrawImage(TPdfImage&& image, double left, double top, double width, double height);
    int PageCount() const;
    // The document title written into the file's information dictionary (UTF-8).
    void SetTitle(const std::string& title) { FTitle = title; }

    // Writes the document beside fileName and renames it into place; the
    // writer is closed afterwards either way.
    bool Commit();
    // Drops the document without writing.
    void Discard();

private:
    struct TState;
    std::unique_ptr<TState> FState;
    std::string FFileName;
    std::string FTitle;
};

}  // namespace paxid
