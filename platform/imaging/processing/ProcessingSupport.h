#pragma once

// Shared pieces of the processing operations; not for use outside this folder.

#include "platform/imaging/Bitmap.h"

#include <array>
#include <cstdint>
#include <string_view>

struct Pix;

namespace paxid::processing {

using TLookupTable = std::array<std::uint8_t, 256>;

void Log(std::string_view message) noexcept;

// The most pixel memory an operation may create by raising a page's depth.
inline constexpr std::int64_t kMaxWorkingBytes = std::int64_t{256} * 1024 * 1024;

// Makes the bitmap 8-bit gray or 24-bit colour (1-bit pages become gray)
// so that tonal arithmetic applies. False, page unchanged, when it cannot
// (empty page, the converted page would be too large).
bool MakeTonal(TBitmap& bitmap, std::string_view operation);

// Replaces bitmap by result (owned; null keeps the page and returns false),
// keeping the resolution and marking 32-bit results as 24-bit colour.
bool TakeResult(TBitmap& bitmap, Pix* result, std::string_view operation);

// Applies table to every gray sample or colour channel in place; the bitmap
// must be 8 or 24 bits.
void ApplyLookupTable(TBitmap& bitmap, const TLookupTable& table);

std::uint8_t ClampByte(double value);

// A new bitmap of the same size and depth (8 or 24 bits) whose every sample
// is fn(neighbourhood), where neighbourhood holds the 3 x 3 samples of the
// same channel around it, row by row, edges repeated.
template <typename TFunction>
TBitmap Map3x3(const TBitmap& source, TFunction fn);

}  // namespace paxid::processing

#include "platform/imaging/processing/ProcessingSupport.inl"
