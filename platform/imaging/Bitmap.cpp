#include "platform/imaging/Bitmap.h"

#include <leptonica/allheaders.h>

#include <utility>

namespace paxid {

TBitmap::~TBitmap() {
    if (FPix != nullptr) {
        pixDestroy(&FPix);
    }
}

TBitmap::TBitmap(const TBitmap& other) : FPix(other.FPix == nullptr ? nullptr : pixCopy(nullptr, other.FPix)) {}

TBitmap& TBitmap::operator=(const TBitmap& other) {
    if (this != &other) {
        TBitmap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TBitmap& TBitmap::operator=(TBitmap&& other) noexcept {
    if (this != &other) {
        if (FPix != nullptr) {
            pixDestroy(&FPix);
        }
        FPix = other.FPix;
        other.FPix = nullptr;
    }
    return *this;
}

TBitmap TBitmap::Create(int width, int height, int bitsPerPixel) {
    const int depth = bitsPerPixel == 24 ? 32 : bitsPerPixel;
    if (width <= 0 || height <= 0 || (depth != 1 && depth != 8 && depth != 32)) {
        return {};
    }
    Pix* pix = pixCreate(width, height, depth);
    if (pix == nullptr) {
        return {};
    }
    if (depth == 1) {
        pixClearAll(pix);  // 0 is white in a 1-bit PIX
    } else {
        pixSetAll(pix);
    }
    if (depth == 32) {
        pixSetSpp(pix, 3);
    }
    return TBitmap(pix);
}

int TBitmap::Width() const { return FPix == nullptr ? 0 : pixGetWidth(FPix); }
int TBitmap::Height() const { return FPix == nullptr ? 0 : pixGetHeight(FPix); }

int TBitmap::BitsPerPixel() const {
    if (FPix == nullptr) {
        return 0;
    }
    const int depth = pixGetDepth(FPix);
    return (depth == 32 && pixGetSpp(FPix) == 3) ? 24 : depth;
}

int TBitmap::XResolution() const { return FPix == nullptr ? 0 : pixGetXRes(FPix); }
int TBitmap::YResolution() const { return FPix == nullptr ? 0 : pixGetYRes(FPix); }

void TBitmap::SetResolution(int x, int y) {
    if (FPix != nullptr) {
        pixSetResolution(FPix, x, y);
    }
}

TColor TBitmap::PixelColor(int x, int y) const {
    const TColor white{255, 255, 255};
    if (FPix == nullptr || x < 0 || y < 0 || x >= Width() || y >= Height()) {
        return white;
    }
    l_uint32 value = 0;
    if (pixGetPixel(FPix, x, y, &value) != 0) {
        return white;
    }
    const int depth = pixGetDepth(FPix);
    if (depth == 32) {
        l_int32 red = 0;
        l_int32 green = 0;
        l_int32 blue = 0;
        extractRGBValues(value, &red, &green, &blue);
        return TColor{static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                      static_cast<std::uint8_t>(blue)};
    }
    if (PIXCMAP* colormap = pixGetColormap(FPix)) {
        l_int32 red = 0;
        l_int32 green = 0;
        l_int32 blue = 0;
        pixcmapGetColor(colormap, static_cast<l_int32>(value), &red, &green, &blue);
        return TColor{static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                      static_cast<std::uint8_t>(blue)};
    }
    if (depth == 1) {
        return value != 0 ? TColor{0, 0, 0} : white;
    }
    const int maxValue = (1 << depth) - 1;
    const auto gray = static_cast<std::uint8_t>(static_cast<int>(value) * 255 / maxValue);
    return TColor{gray, gray, gray};
}

Pix* TBitmap::Release() {
    Pix* pix = FPix;
    FPix = nullptr;
    return pix;
}

}  // namespace paxid
