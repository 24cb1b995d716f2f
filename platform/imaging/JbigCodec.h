#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"

#include <cstdint>
#include <span>
#include <vector>

namespace paxid {

// JBIG (ITU T.82) pages through JBIG-KIT; one bitonal plane per file.

// True when data starts with a plausible single-plane JBIG header; fills the
// page size (resolution is not stored in JBIG, so it reads 0).
bool JbigHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info);
int JbigDecode(std::span<const std::uint8_t> data, TBitmap& bitmap);
// A 1-bit bitmap from a decoded JBIG plane: rows of (width + 7) / 8 bytes,
// most significant pixel first, 1 = black.
TBitmap JbigPlaneToBitmap(const unsigned char* plane, int width, int height);
// Encodes a 1-bit bitmap; false for any other depth.
bool JbigEncode(const TBitmap& bitmap, std::vector<std::uint8_t>& output);

}  // namespace paxid
