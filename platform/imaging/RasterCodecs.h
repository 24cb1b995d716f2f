#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"

#include <cstdint>
#include <span>

namespace paxid {

// JPEG through libjpeg and PNG through libpng, each with its messages routed
// to the platform log and the header checked against the size limits before
// any pixel memory is taken.
bool JpegHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info);
int JpegDecode(std::span<const std::uint8_t> data, TBitmap& bitmap);
// 32-bit Windows bitmaps, which Leptonica does not read; false for any other
// kind (left to Leptonica) and failure for a damaged one.
bool IsBmp32(std::span<const std::uint8_t> data);
bool Bmp32HeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info);
int Bmp32Decode(std::span<const std::uint8_t> data, TBitmap& bitmap);
bool PngHeaderInfo(std::span<const std::uint8_t> data, TImageFileInfo& info);
int PngDecode(std::span<const std::uint8_t> data, TBitmap& bitmap);

}  // namespace paxid
