// Size, rotation, shear and depth.

#include "platform/imaging/processing/ImageProcessing.h"
#include "platform/imaging/processing/ProcessingSupport.h"

#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFile.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace paxid {

using processing::TakeResult;

bool ResizeBitmap(TBitmap& bitmap, int width, int height) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    width = std::clamp(width, 1, kMaxProcessedSide);
    height = std::clamp(height, 1, kMaxProcessedSide);
    if (width == bitmap.Width() && height == bitmap.Height()) {
        return true;
    }
    if (!ImageSizeAcceptable(width, height, bitmap.BitsPerPixel())) {
        processing::Log("ResizeBitmap: " + std::to_string(width) + " x " + std::to_string(height) +
                        " is too large, page left unchanged");
        return false;
    }
    return TakeResult(bitmap, pixScaleToSize(bitmap.Get(), width, height), "ResizeBitmap");
}

bool RotateByAngle(TBitmap& bitmap, int hundredthsOfDegree) {
    hundredthsOfDegree = kRotateRange.Clamp(hundredthsOfDegree);
    if (hundredthsOfDegree % 36000 == 0) {
        return !bitmap.IsEmpty();
    }
    return RotateBitmap(bitmap, hundredthsOfDegree);
}

bool ShearByAngle(TBitmap& bitmap, int hundredthsOfDegree) {
    hundredthsOfDegree = kShearRange.Clamp(hundredthsOfDegree);
    if (hundredthsOfDegree == kShearRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (bitmap.IsEmpty()) {
        return false;
    }
    // Rows slide sideways; the page widens so that no pixel is cut off.
    const double radians = hundredthsOfDegree / 100.0 * M_PI / 180.0;
    const int border = static_cast<int>(std::ceil(std::abs(std::tan(radians)) * bitmap.Height() / 2.0)) + 1;
    if (!ImageSizeAcceptable(std::int64_t{bitmap.Width()} + 2 * border, bitmap.Height(), bitmap.BitsPerPixel())) {
        processing::Log("ShearByAngle: page too large, left unchanged");
        return false;
    }
    TBitmap widened(pixAddBlackOrWhiteBorder(bitmap.Get(), border, border, 0, 0, L_GET_WHITE_VAL));
    if (widened.IsEmpty()) {
        processing::Log("ShearByAngle: failed, page left unchanged");
        return false;
    }
    return TakeResult(bitmap, pixHShearCenter(nullptr, widened.Get(), static_cast<float>(radians), L_BRING_IN_WHITE),
                      "ShearByAngle");
}

bool ChangeColorDepth(TBitmap& bitmap, int bitsPerPixel) {
    if (bitmap.IsEmpty()) {
        return false;
    }
    bitsPerPixel = bitsPerPixel <= 1 ? 1 : (bitsPerPixel <= 8 ? 8 : 24);
    if (bitsPerPixel == bitmap.BitsPerPixel()) {
        return true;
    }
    if (!ImageSizeAcceptable(bitmap.Width(), bitmap.Height(), bitsPerPixel)) {
        processing::Log("ChangeColorDepth: page too large, left unchanged");
        return false;
    }
    return ConvertColorResolution(bitmap, bitsPerPixel);
}

}  // namespace paxid
