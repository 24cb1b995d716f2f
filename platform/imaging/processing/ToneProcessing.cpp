// Tonal changes: each sample through a table, or colour changes per pixel.

#include "platform/imaging/processing/ImageProcessing.h"
#include "platform/imaging/processing/ProcessingSupport.h"

#include <leptonica/allheaders.h>

#include <cmath>
#include <algorithm>
#include <random>
#include <utility>

namespace paxid {

using processing::ApplyLookupTable;
using processing::ClampByte;
using processing::MakeTonal;
using processing::TakeResult;
using processing::TLookupTable;

namespace {

template <typename TFunction>
TLookupTable MakeTable(TFunction fn) {
    TLookupTable table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = ClampByte(fn(static_cast<double>(v)));
    }
    return table;
}

bool ApplyTable(TBitmap& bitmap, const TLookupTable& table, std::string_view operation) {
    if (!MakeTonal(bitmap, operation)) {
        return false;
    }
    ApplyLookupTable(bitmap, table);
    return true;
}

bool IsColor(const TBitmap& bitmap) { return bitmap.BitsPerPixel() == 24; }

}  // namespace

bool ChangeBrightness(TBitmap& bitmap, int amount) {
    amount = kBrightnessRange.Clamp(amount);
    if (amount == kBrightnessRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    const double shift = 255.0 * amount / 1000.0;
    return ApplyTable(bitmap, MakeTable([shift](double v) { return v + shift; }), "ChangeBrightness");
}

bool ChangeContrast(TBitmap& bitmap, int amount) {
    amount = kContrastRange.Clamp(amount);
    if (amount == kContrastRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    const double factor = amount < 0 ? 1.0 + amount / 1000.0 : 1.0 + 9.0 * amount / 1000.0;
    return ApplyTable(bitmap, MakeTable([factor](double v) { return 127.5 + (v - 127.5) * factor; }),
                      "ChangeContrast");
}

bool CorrectGamma(TBitmap& bitmap, int hundredths) {
    hundredths = kGammaRange.Clamp(hundredths);
    if (hundredths == kGammaRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    const double exponent = 100.0 / hundredths;
    return ApplyTable(bitmap, MakeTable([exponent](double v) { return 255.0 * std::pow(v / 255.0, exponent); }),
                      "CorrectGamma");
}

bool Posterize(TBitmap& bitmap, int levels) {
    levels = kPosterizeRange.Clamp(levels);
    if (levels == kPosterizeRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    const double step = 255.0 / (levels - 1);
    return ApplyTable(bitmap, MakeTable([step](double v) { return std::round(v / step) * step; }), "Posterize");
}

bool Solarize(TBitmap& bitmap, int threshold) {
    threshold = kSolarizeRange.Clamp(threshold);
    if (threshold == kSolarizeRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    return ApplyTable(bitmap, MakeTable([threshold](double v) { return v > threshold ? 255.0 - v : v; }),
                      "Solarize");
}

bool StretchIntensity(TBitmap& bitmap, int low, int high) {
    low = kIntensityRange.Clamp(low);
    high = kIntensityRange.Clamp(high);
    if (low > high) {
        std::swap(low, high);
    }
    if (low == 0 && high == 255) {
        return !bitmap.IsEmpty();
    }
    if (low == high) {
        return ApplyTable(bitmap, MakeTable([low](double v) { return v < low ? 0.0 : 255.0; }), "StretchIntensity");
    }
    const double scale = 255.0 / (high - low);
    return ApplyTable(bitmap, MakeTable([low, scale](double v) { return (v - low) * scale; }), "StretchIntensity");
}

bool HistogramContrast(TBitmap& bitmap, int amount) {
    amount = kHistogramContrastRange.Clamp(amount);
    if (amount == kHistogramContrastRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "HistogramContrast")) {
        return false;
    }
    return TakeResult(bitmap, pixEqualizeTRC(nullptr, bitmap.Get(), amount / 1000.0f, 1), "HistogramContrast");
}

bool ChangeSaturation(TBitmap& bitmap, int amount) {
    amount = kSaturationRange.Clamp(amount);
    if (amount == kSaturationRange.Neutral || !IsColor(bitmap)) {
        return !bitmap.IsEmpty();  // gray pages have no saturation to change
    }
    return TakeResult(bitmap, pixModifySaturation(nullptr, bitmap.Get(), amount / 1000.0f), "ChangeSaturation");
}

bool ChangeHue(TBitmap& bitmap, int degrees) {
    degrees = kHueRange.Clamp(degrees);
    if (degrees % 360 == 0 || !IsColor(bitmap)) {
        return !bitmap.IsEmpty();  // gray pages have no hue to turn
    }
    // Leptonica's hue runs 0..239 for a full turn.
    const int shift = ((degrees % 360 + 360) % 360) * 240 / 360;
    TBitmap hsv(pixConvertRGBToHSV(nullptr, bitmap.Get()));
    if (hsv.IsEmpty()) {
        processing::Log("ChangeHue: failed, page left unchanged");
        return false;
    }
    Pix* pix = hsv.Get();
    const int wpl = pixGetWpl(pix);
    for (int y = 0; y < pixGetHeight(pix); ++y) {
        l_uint32* line = pixGetData(pix) + static_cast<std::size_t>(y) * wpl;
        for (int x = 0; x < pixGetWidth(pix); ++x) {
            const l_uint32 hue = ((line[x] >> 24) + shift) % 240;
            line[x] = (line[x] & 0x00FFFFFFu) | (hue << 24);
        }
    }
    return TakeResult(bitmap, pixConvertHSVToRGB(nullptr, pix), "ChangeHue");
}

bool AddNoise(TBitmap& bitmap, int amount, unsigned seed) {
    amount = kNoiseRange.Clamp(amount);
    if (amount == kNoiseRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "AddNoise")) {
        return false;
    }
    const int spread = std::max(1, 255 * amount / 1000);
    std::minstd_rand random(seed);
    std::uniform_int_distribution<int> noise(-spread, spread);
    Pix* pix = bitmap.Get();
    const bool gray = pixGetDepth(pix) == 8;
    const int wpl = pixGetWpl(pix);
    for (int y = 0; y < pixGetHeight(pix); ++y) {
        l_uint32* line = pixGetData(pix) + static_cast<std::size_t>(y) * wpl;
        for (int x = 0; x < pixGetWidth(pix); ++x) {
            const int delta = noise(random);
            if (gray) {
                SET_DATA_BYTE(line, x, ClampByte(static_cast<int>(GET_DATA_BYTE(line, x)) + delta));
            } else {
                const l_uint32 word = line[x];
                line[x] = (l_uint32{ClampByte(static_cast<int>(word >> 24) + delta)} << 24) |
                          (l_uint32{ClampByte(static_cast<int>((word >> 16) & 0xFF) + delta)} << 16) |
                          (l_uint32{ClampByte(static_cast<int>((word >> 8) & 0xFF) + delta)} << 8) | (word & 0xFF);
            }
        }
    }
    return true;
}

TBitmap CustomAdjustment(const TBitmap& original, int brightness, int contrast, int gammaHundredths) {
    TBitmap result = original;
    ChangeBrightness(result, brightness);
    ChangeContrast(result, contrast);
    CorrectGamma(result, gammaHundredths);
    return result;
}

}  // namespace paxid
