#pragma once

#include "platform/imaging/Bitmap.h"

namespace paxid {

// Combine operations: both replace the destination rectangle by the source
// pixels; callers pass the bitonal code for 1-bit pages.
inline constexpr int kCombineCopyBitonal = 0;
inline constexpr int kCombineCopy = 800;

// The operations on a bitmap in place. Each returns false and leaves the
// bitmap unchanged when it cannot be done (empty bitmap, bad rectangle,
// unsupported depth).

// Fills the whole bitmap. A 1-bit bitmap becomes black for a colour darker
// than mid gray, else white.
bool FillBitmap(TBitmap& bitmap, TColor color);

// Rotates clockwise by hundredths of a degree. Multiples of 9000 are exact
// and lossless; other angles grow the bitmap to hold the whole rotated image
// and fill the uncovered area white. Resolution values stay as they were.
bool RotateBitmap(TBitmap& bitmap, int hundredthsOfDegree);

// Keeps only the rectangle (image pixels), clipped to the bitmap.
bool TrimBitmap(TBitmap& bitmap, int left, int top, int width, int height);

// Copies the source rectangle (sourceX, sourceY, width, height) into dest at
// (destX, destY); parts outside either bitmap are skipped. The source is
// converted to dest's depth first.
bool CombineBitmap(TBitmap& dest, int destX, int destY, int width, int height, const TBitmap& source, int sourceX,
                   int sourceY, int operation);

// Converts to 1 (threshold at mid gray), 8 (gray) or 24 bits per pixel.
bool ConvertColorResolution(TBitmap& bitmap, int bitsPerPixel);

// A new 24-bit rendering of source at width x height pixels. Bitonal pages
// are scaled to gray (anti-aliased) so that thin strokes stay visible.
TBitmap PaintScaled(const TBitmap& source, int width, int height);

// Brings a freshly decoded PIX to the depths this layer hands out: 1, 8
// (gray or palette removed), 24 (RGB, alpha blended onto white). Takes
// ownership of pix; returns an empty bitmap when it cannot.
TBitmap NormalizeDecodedPix(Pix* pix);

}  // namespace paxid
