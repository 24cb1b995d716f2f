#include "platform/imaging/Printer.h"

#include <algorithm>
#include <cmath>

namespace paxid {

TPrintRect ResolvePrintRect(int bitmapWidth, int bitmapHeight, int left, int top, int width, int height,
                            int pageWidth, int pageHeight) {
    TPrintRect rect{left, top, width, height};
    if (bitmapWidth <= 0 || bitmapHeight <= 0) {
        return rect;
    }
    const double aspect = static_cast<double>(bitmapWidth) / bitmapHeight;
    if (width <= 0 && height <= 0) {
        const double scale = std::min(static_cast<double>(pageWidth) / bitmapWidth,
                                      static_cast<double>(pageHeight) / bitmapHeight);
        rect.Width = std::max(1, static_cast<int>(std::lround(bitmapWidth * scale)));
        rect.Height = std::max(1, static_cast<int>(std::lround(bitmapHeight * scale)));
    } else if (width <= 0) {
        rect.Width = std::max(1, static_cast<int>(std::lround(height * aspect)));
    } else if (height <= 0) {
        rect.Height = std::max(1, static_cast<int>(std::lround(width / aspect)));
    }
    return rect;
}

}  // namespace paxid
