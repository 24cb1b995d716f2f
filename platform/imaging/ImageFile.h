#pragma once

#include "platform/imaging/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace paxid {

// What the header of an image file tells about the file and one of its pages.
struct TImageFileInfo {
    int Format = 0;       // kFormat... number; 0 when the file is not a known image
    int TotalPages = 0;   // pages in the file
    int Width = 0;        // of the page asked for, image pixels
    int Height = 0;
    int BitsPerPixel = 0;  // as this layer loads it: 1, 8 or 24
    int XResolution = 0;  // dots per inch; 0 when the file gives none
    int YResolution = 0;
    std::int64_t SizeDisk = 0;  // bytes of the file
};

// The largest page this layer decodes. A header announcing more is refused
// before any pixel memory is taken.
inline constexpr int kMaxImageSide = 100000;
inline constexpr std::int64_t kMaxImageBytes = std::int64_t{512} * 1024 * 1024;
// A header announcing more pages than this is treated as corrupt.
inline constexpr int kMaxPageCount = 100000;

// True when a width x height page at bitsPerPixel fits the limits above.
bool ImageSizeAcceptable(std::int64_t width, std::int64_t height, int bitsPerPixel);

// Page numbers are 1-based inside the file; 0 selects the first page.

// Reads the file's header only (page count by walking directories, never by
// decoding pages). Returns kImagingSuccess or kImagingFailure.
int FileInfo(const std::string& fileName, int pageNo, TImageFileInfo& info);
// Decodes page pageNo at its stored depth (1, 8 or 24 bits); PDF pages are
// rasterised at 200 dpi, 24 bits. info, when given, receives the file data.
int LoadPage(const std::string& fileName, int pageNo, TBitmap& bitmap, TImageFileInfo* info = nullptr);

// The same for a file that is held in memory (a download in progress).
int FileInfoMemory(std::span<const std::uint8_t> data, int pageNo, TImageFileInfo& info);
int LoadPageMemory(std::span<const std::uint8_t> data, int pageNo, TBitmap& bitmap, TImageFileInfo* info = nullptr);

// The format of a file from its first bytes (at least 16 when there are so
// many); 0 when unknown. JBIG has no signature and is recognised by a
// plausible header only.
int DetectImageFormat(std::span<const std::uint8_t> head);

}  // namespace paxid
