#pragma once

#include "platform/imaging/Bitmap.h"

#include <string_view>

namespace paxid {

// Drawing primitives on 24-bit bitmaps; coordinates are image pixels from the
// top-left corner. Parts outside the bitmap are clipped.

// A one-pixel rectangle around the whole bitmap.
void DrawFrame(TBitmap& bitmap, TColor color);
// A straight line of the given pen width.
void DrawLine(TBitmap& bitmap, int x1, int y1, int x2, int y2, int penWidth, TColor color);
// Copies picture (any depth) with its top-left corner at (x, y).
void DrawPicture(TBitmap& bitmap, const TBitmap& picture, int x, int y);
// Blends a 32-bit picture with an alpha channel (as icons have) at (x, y);
// pictures without alpha are copied.
void DrawPictureBlended(TBitmap& bitmap, const TBitmap& picture, int x, int y);
// Writes ASCII text about 8 pixels high on a transparent background; (x, y)
// is the top-left corner of the text.
void DrawText(TBitmap& bitmap, int x, int y, std::string_view text, TColor color);

}  // namespace paxid
