#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"

#include <cstdint>
#include <span>

namespace paxid {

// PDF pages read through Poppler: the page count from the document, a page
// rasterised at 200 dpi, 24 bits per pixel. Encrypted documents that need a
// password fail.
int PdfFileInfo(std::span<const std::uint8_t> data, int pageNo, TImageFileInfo& info);
int PdfLoadPage(std::span<const std::uint8_t> data, int pageNo, TBitmap& bitmap, TImageFileInfo* info);

}  // namespace paxid
