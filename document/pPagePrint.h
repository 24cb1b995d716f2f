#pragma once

#include "platform/imaging/Bitmap.h"
#include "platform/imaging/Printer.h"

#include <string>

namespace paxid {

// Prints bitmap on the printer's current page, turned to the page's
// orientation: at its physical size when it fits, else fitted to the page
// (fitToPage) or cut into page-sized tiles that open further pages. bitmap
// may be rotated, so callers pass a copy. The caller has begun the document
// and ends it. Main thread.
void PrintLeadBitmap(TPrinter& printer, TBitmap& bitmap, bool fitToPage);

// Loads page pageNo of fileName and prints it; then, unless isLast, starts a
// new printer page (also after a failed load, which leaves that page blank).
void PrintImageFile(TPrinter& printer, const std::string& fileName, int pageNo, bool isLast, bool fitToPage);

}  // namespace paxid
