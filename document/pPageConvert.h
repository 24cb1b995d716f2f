#pragma once

#include <cstdint>
#include <string>

namespace paxid {

class TSaveSession;

// Page conversion for saving documents, writing cabinets and writing edited
// bitonal pages back. Page numbers are those of the page objects (1-based,
// 0 = the file's first page). The conversions report no errors: a page that
// cannot be loaded adds nothing. A session, when given, keeps the destination
// open across the pages of one save (one write of a PDF for all its pages);
// without one each call completes the file. Main thread.

// Rebuilds the group-4 TIFF fileName with page pageNo taken from the first
// page of pageFile (which must be group 4 too). fileName is replaced only
// after every page was written; on any failure it is left as it was.
void ReplaceTiffPage(const std::string& fileName, int pageNo, const std::string& pageFile);

// Appends page pageNo of sourceFile to destFile: as TIFF (1-bit pages group
// 4, others JPEG of quality), as PDF (group 4 or JPEG image), or in format.
// quality is the quality factor of the JPEG-based formats.
void ConvertToTiff(const std::string& sourceFile, int pageNo, const std::string& destFile, int quality,
                   TSaveSession* session = nullptr);
void ConvertToPdf(const std::string& sourceFile, int pageNo, const std::string& destFile, int quality,
                  TSaveSession* session = nullptr);
void ConvertPage(const std::string& sourceFile, int pageNo, const std::string& destFile, int format, int quality,
                 TSaveSession* session = nullptr);

// Writes page pageNo (1-based) of an image file into target as a file of
// that page alone, for cabinets of part of a document: a TIFF page becomes a
// one-page TIFF; the other image formats hold one page, so the file itself is
// copied. True when target exists afterwards.
bool ExtractImagePage(const std::string& source, std::int32_t pageNo, const std::string& target);

// Writes a new 32 x 32 white page of bitsPerPixel into a temporary ".tif" file:
// group 4 for 1 bit, else JPEG-compressed with jpegQuality. fileName receives
// its name; returns true when it was written.
bool CreateBlankImageFile(int bitsPerPixel, std::string& fileName, int jpegQuality);

}  // namespace paxid
