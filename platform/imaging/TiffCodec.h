#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// libtiff's handle, kept out of the headers.
struct tiff;

namespace paxid {

struct TTiffCloser {
    void operator()(tiff* handle) const;
};
// An open TIFF file or memory image; closing writes pending directories.
using TTiffHandle = std::unique_ptr<tiff, TTiffCloser>;

// mode is libtiff's: "r", "w", "a". Messages go to the platform log.
TTiffHandle OpenTiffFile(const std::string& fileName, const char* mode);
// Reads from memory that must outlive the handle.
TTiffHandle OpenTiffMemory(std::span<const std::uint8_t> data);

// Makes page pageNo (1-based, 0 = first) the current directory.
bool TiffSelectPage(tiff* handle, int pageNo);
// Directory count, walking the chain of directory headers only; -1 on a
// corrupt chain.
int TiffPageCount(tiff* handle);
// Header data of page pageNo (1-based, 0 = first).
int TiffPageInfo(tiff* handle, int pageNo, TImageFileInfo& info);
int TiffLoadPage(tiff* handle, int pageNo, TBitmap& bitmap, TImageFileInfo* info);

// Writes bitmap as the next directory: G4 (1 bit, one strip) or JPEG (8 or
// 24 bits); quality is the JPEG quality 1..100.
bool TiffWritePage(tiff* handle, const TBitmap& bitmap, bool groupFour, int jpegQuality);

// Copies the current directory of source into destination as the next
// directory, compressed data as it stands (no decoding).
bool TiffCopyPageRaw(tiff* source, tiff* destination);

// The group-4 data of a page stored in one strip, ready for a PDF image.
struct TRawG4Page {
    std::vector<std::uint8_t> Data;
    int Width = 0;
    int Height = 0;
    int XResolution = 0;
    int YResolution = 0;
    bool MinIsBlack = false;  // photometric min-is-black
};
// True when page pageNo is G4 in a single strip with the usual bit order and
// fills page with its compressed data.
bool TiffReadRawG4(tiff* handle, int pageNo, TRawG4Page& page);

}  // namespace paxid
