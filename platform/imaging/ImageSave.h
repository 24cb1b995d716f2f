#pragma once

#include "platform/imaging/Bitmap.h"

#include <memory>
#include <string>

// libtiff's handle, kept out of the headers.
struct tiff;

namespace paxid {

// The JPEG quality (1..100) of a quality factor as callers store it: 2 is
// the finest, 255 the coarsest; below 2 counts as 2.
int JpegQualityFromFactor(int qualityFactor);

// Writes pages into files by format number (kFormatBmp, kFormatJpeg,
// kFormatTiffJpeg, kFormatTiffG4, kFormatJbig, kFormatPdfG4, kFormatPdfJpeg).
// A session keeps the file of its last save open, so that appending many
// pages to one TIFF or PDF writes each page once and the PDF file once; the
// file is complete after Commit (or the session's end). One thread at a time.
class TSaveSession {
public:
    TSaveSession();
    ~TSaveSession();
    TSaveSession(const TSaveSession&) = delete;
    TSaveSession& operator=(const TSaveSession&) = delete;

    // Saves bitmap converted to bitsPerPixel. flags: kSaveAppend adds the page
    // to an existing TIFF or PDF file (single-page formats are overwritten);
    // kSaveReplacePage replaces page pageNo (1-based) of an existing TIFF;
    // no flag creates the file anew. Returns kImagingSuccess or kImagingFailure.
    int Save(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel, int qualityFactor,
             int flags, int pageNo = 0);
    // Writes page sourcePage of a group-4 TIFF into fileName as format
    // kFormatTiffG4 or kFormatPdfG4 with its compressed data as it stands
    // (no decoding). Fails, writing nothing, when the page is not stored so.
    int SaveCompressedG4(const std::string& fileName, const std::string& sourceFile, int sourcePage, int format,
                         int flags);
    // Completes the open file. Returns kImagingSuccess when it was written
    // (or nothing was open).
    int Commit();

private:
    struct TTarget;
    struct TSource;
    // The open TIFF that pages are copied from, kept while pages of one source
    // are copied in order.
    tiff* SourceTiff(const std::string& sourceFile);
    int SaveUnguarded(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel,
                      int qualityFactor, int flags, int pageNo);
    int SaveCompressedG4Unguarded(const std::string& fileName, const std::string& sourceFile, int sourcePage,
                                  int format, int flags);

    std::unique_ptr<TTarget> FTarget;
    std::unique_ptr<TSource> FSource;
};

// One save in a session of its own.
int SaveBitmap(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel, int qualityFactor,
               int flags, int pageNo = 0);

}  // namespace paxid
