#include "platform/imaging/BitmapOperations.h"

#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace paxid {

namespace {

// Leptonica boxes are small C objects; this owner frees them.
struct TBoxOwner {
    BOX* Box;
    explicit TBoxOwner(BOX* box) : Box(box) {}
    ~TBoxOwner() { boxDestroy(&Box); }
    TBoxOwner(const TBoxOwner&) = delete;
    TBoxOwner& operator=(const TBoxOwner&) = delete;
};

// Marks a 32-bit PIX as RGB without alpha, which TBitmap reports as 24 bits.
Pix* AsRgb(Pix* pix) {
    if (pix != nullptr && pixGetDepth(pix) == 32) {
        pixSetSpp(pix, 3);
    }
    return pix;
}

Pix* ConvertPix(Pix* pix, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return pixGetDepth(pix) == 1 ? pixCopy(nullptr, pix) : pixConvertTo1(pix, 128);
    case 8: {
        if (pixGetDepth(pix) == 1) {
            return pixConvert1To8(nullptr, pix, 255, 0);
        }
        return pixConvertTo8(pix, 0);
    }
    case 24:
    case 32:
        return AsRgb(pixConvertTo32(pix));
    default:
        return nullptr;
    }
}

}  // namespace

bool FillBitmap(TBitmap& bitmap, TColor color) {
    Pix* pix = bitmap.Get();
    if (pix == nullptr) {
        return false;
    }
    switch (pixGetDepth(pix)) {
    case 1: {
        const int luminance = (color.Red * 299 + color.Green * 587 + color.Blue * 114) / 1000;
        return (luminance < 128 ? pixSetAll(pix) : pixClearAll(pix)) == 0;
    }
    case 8: {
        if (pixGetColormap(pix) != nullptr) {
            return false;
        }
        const int gray = (color.Red * 299 + color.Green * 587 + color.Blue * 114) / 1000;
        return pixSetAllArbitrary(pix, static_cast<l_uint32>(gray)) == 0;
    }
    case 32: {
        l_uint32 value = 0;
        composeRGBPixel(color.Red, color.Green, color.Blue, &value);
        return pixSetAllArbitrary(pix, value) == 0;
    }
    default:
        return false;
    }
}

bool RotateBitmap(TBitmap& bitmap, int hundredthsOfDegree) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    InstallImagingMessageHandlers();
    const int normalized = ((hundredthsOfDegree % 36000) + 36000) % 36000;
    if (normalized == 0) {
        return true;
    }
    Pix* rotated = nullptr;
    if (normalized % 9000 == 0) {
        rotated = pixRotateOrth(bitmap.Get(), normalized / 9000);
    } else {
        const float radians = static_cast<float>(normalized / 100.0 * std::numbers::pi / 180.0);
        // Passing the size embeds the image first, so nothing is clipped.
        rotated = pixRotate(bitmap.Get(), radians, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, bitmap.Width(),
                            bitmap.Height());
    }
    if (rotated == nullptr) {
        return false;
    }
    const bool rgb = bitmap.BitsPerPixel() == 24;
    pixCopyResolution(rotated, bitmap.Get());
    bitmap = TBitmap(rgb ? AsRgb(rotated) : rotated);
    return true;
}

bool TrimBitmap(TBitmap& bitmap, int left, int top, int width, int height) {
    if (bitmap.IsEmpty() || width <= 0 || height <= 0) {
        return false;
    }
    const TBoxOwner box(boxCreate(left, top, width, height));
    Pix* clipped = pixClipRectangle(bitmap.Get(), box.Box, nullptr);
    if (clipped == nullptr) {
        return false;
    }
    const bool rgb = bitmap.BitsPerPixel() == 24;
    bitmap = TBitmap(rgb ? AsRgb(clipped) : clipped);
    return true;
}

bool CombineBitmap(TBitmap& dest, int destX, int destY, int width, int height, const TBitmap& source, int sourceX,
                   int sourceY, int operation) {
    if (dest.IsEmpty() || source.IsEmpty() || width <= 0 || height <= 0) {
        return false;
    }
    if (operation != kCombineCopyBitonal && operation != kCombineCopy) {
        return false;
    }
    Pix* sourcePix = source.Get();
    TBitmap converted;
    if (pixGetDepth(sourcePix) != pixGetDepth(dest.Get()) || pixGetColormap(sourcePix) != nullptr) {
        converted = source;
        if (!ConvertColorResolution(converted, dest.BitsPerPixel())) {
            return false;
        }
        sourcePix = converted.Get();
    }
    return pixRasterop(dest.Get(), destX, destY, width, height, PIX_SRC, sourcePix, sourceX, sourceY) == 0;
}

bool ConvertColorResolution(TBitmap& bitmap, int bitsPerPixel) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    if (bitmap.BitsPerPixel() == bitsPerPixel && pixGetColormap(bitmap.Get()) == nullptr) {
        return true;
    }
    Pix* converted = ConvertPix(bitmap.Get(), bitsPerPixel);
    if (converted == nullptr) {
        return false;
    }
    pixCopyResolution(converted, bitmap.Get());
    bitmap = TBitmap(converted);
    return true;
}

TBitmap PaintScaled(const TBitmap& source, int width, int height) {
    if (source.IsEmpty() || width <= 0 || height <= 0) {
        return {};
    }
    InstallImagingMessageHandlers();
    Pix* pix = source.Get();
    const float scaleX = static_cast<float>(width) / static_cast<float>(source.Width());
    const float scaleY = static_cast<float>(height) / static_cast<float>(source.Height());
    Pix* scaled = nullptr;
    if (pixGetDepth(pix) == 1 && scaleX < 1.0F && scaleY < 1.0F) {
        // Scale to gray at the smaller factor, then stretch to the exact size.
        Pix* gray = pixScaleToGray(pix, std::min(scaleX, scaleY));
        if (gray != nullptr) {
            scaled = (pixGetWidth(gray) == width && pixGetHeight(gray) == height) ? pixClone(gray)
                                                                                  : pixScaleToSize(gray, width, height);
            pixDestroy(&gray);
        }
    } else {
        scaled = pixScaleToSize(pix, width, height);
    }
    if (scaled == nullptr) {
        return {};
    }
    Pix* rgb = pixConvertTo32(scaled);
    pixDestroy(&scaled);
    return TBitmap(AsRgb(rgb));
}

TBitmap NormalizeDecodedPix(Pix* pix) {
    if (pix == nullptr) {
        return {};
    }
    TBitmap owner(pix);
    Pix* result = nullptr;
    const int depth = pixGetDepth(pix);
    if (pixGetColormap(pix) != nullptr) {
        result = pixRemoveColormap(pix, REMOVE_CMAP_BASED_ON_SRC);
        if (result != nullptr && pixGetDepth(result) != 1 && pixGetDepth(result) != 8 && pixGetDepth(result) != 32) {
            Pix* widened = pixConvertTo8(result, 0);
            pixDestroy(&result);
            result = widened;
        }
    } else if (depth == 1 || depth == 8) {
        return owner;
    } else if (depth == 2 || depth == 4) {
        result = pixConvertTo8(pix, 0);
    } else if (depth == 16) {
        result = pixConvert16To8(pix, L_MS_BYTE);
    } else if (depth == 32 && pixGetSpp(pix) == 4) {
        result = pixAlphaBlendUniform(pix, 0xffffff00);
    } else if (depth == 32) {
        pixSetSpp(pix, 3);
        return owner;
    } else if (depth == 24) {
        result = pixConvert24To32(pix);
    }
    if (result == nullptr) {
        return {};
    }
    pixCopyResolution(result, pix);
    return TBitmap(AsRgb(result));
}

}  // namespace paxid
