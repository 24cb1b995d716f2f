#pragma once

#include "platform/imaging/Bitmap.h"

#include <string>
#include <string_view>

namespace paxid {

// File icons from the freedesktop icon theme: the PNG icon of a MIME type
// ("application/pdf" -> "application-pdf"), else the generic icon of its media
// type ("text-x-generic"), else "application-x-generic", looked up in the
// Adwaita and hicolor themes of $XDG_DATA_HOME/icons and each
// $XDG_DATA_DIRS/icons. The result is size x size pixels, 32 bits with an
// alpha channel; empty when the theme has none.
TBitmap LoadThemeIcon(std::string_view mimeType, int size);

// The icon file that LoadThemeIcon uses; empty when none is found.
std::string FindThemeIconFile(std::string_view mimeType, int size);

// A drawn sheet-of-paper glyph of size x size pixels (24 bits), for when the
// theme has no icon.
TBitmap DrawnFileGlyph(int size);

}  // namespace paxid
