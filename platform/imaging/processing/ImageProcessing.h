#pragma once

#include "platform/imaging/Bitmap.h"

namespace paxid {

// The image-processing operations of the viewer's processing menu, one per
// item, each with explicit parameters. Every operation works in place on a
// 1-bit, 8-bit gray or 24-bit page:
// - parameters are clamped to the range below (what the dialogs offer);
// - the neutral value leaves the page bit for bit unchanged;
// - a page keeps its depth where the result can be shown in it (geometry,
//   minimum, maximum, median, erosion, dilation of 1-bit pages); tonal
//   changes and edge filters turn a 1-bit page into 8-bit gray;
// - a failure (empty page, out of memory, a page too large to convert)
//   returns false, logs through the platform log (sender "ImageProcessing")
//   and leaves the page unchanged.
// Safe to call from any thread on bitmaps that thread owns.

// A parameter range of the processing dialogs.
struct TProcessingRange {
    int Min = 0;
    int Max = 0;
    int Neutral = 0;
    int Clamp(int value) const { return value < Min ? Min : (value > Max ? Max : value); }
};

inline constexpr TProcessingRange kBrightnessRange{-1000, 1000, 0};   // tenths of a percent of full scale
inline constexpr TProcessingRange kContrastRange{-1000, 1000, 0};     // -1000 flat gray, 1000 ten times
inline constexpr TProcessingRange kGammaRange{1, 500, 100};           // hundredths
inline constexpr TProcessingRange kPosterizeRange{2, 256, 256};       // levels per channel
inline constexpr TProcessingRange kMosaicRange{1, 64, 1};             // tile side, image pixels
inline constexpr TProcessingRange kNeighbourhoodRange{1, 31, 1};      // window side, image pixels (odd)
inline constexpr TProcessingRange kOilifyRange{1, 15, 1};             // window side, image pixels (odd)
inline constexpr TProcessingRange kSolarizeRange{0, 255, 255};        // threshold; above it inverts
inline constexpr TProcessingRange kHueRange{-360, 360, 0};            // degrees
inline constexpr TProcessingRange kSharpenRange{-1000, 1000, 0};      // negative blurs
inline constexpr TProcessingRange kSaturationRange{-1000, 1000, 0};   // -1000 gray
inline constexpr TProcessingRange kHistogramContrastRange{0, 1000, 0};  // share of full equalisation
inline constexpr TProcessingRange kEmbossDirectionRange{0, 7, 0};     // 45-degree steps from north, clockwise
inline constexpr TProcessingRange kEmbossDepthRange{0, 1000, 0};
inline constexpr TProcessingRange kNoiseRange{0, 1000, 0};            // tenths of a percent of full scale
inline constexpr TProcessingRange kIntensityRange{0, 255, 0};         // low and high bound
inline constexpr TProcessingRange kRotateRange{-36000, 36000, 0};     // hundredths of a degree, clockwise
inline constexpr TProcessingRange kShearRange{-4500, 4500, 0};        // hundredths of a degree
inline constexpr int kMaxProcessedSide = 100000;                      // image pixels

// Tonal changes.
bool ChangeBrightness(TBitmap& bitmap, int amount);
bool ChangeContrast(TBitmap& bitmap, int amount);
// out = in ^ (100 / hundredths): above 100 brightens.
bool CorrectGamma(TBitmap& bitmap, int hundredths);
bool Posterize(TBitmap& bitmap, int levels);
bool Solarize(TBitmap& bitmap, int threshold);
bool ChangeHue(TBitmap& bitmap, int degrees);
bool ChangeSaturation(TBitmap& bitmap, int amount);
bool HistogramContrast(TBitmap& bitmap, int amount);
// Maps low..high onto the full scale; (0, 255) is neutral.
bool StretchIntensity(TBitmap& bitmap, int low, int high);
// Uniform noise of up to amount on every pixel; seed makes it repeatable.
bool AddNoise(TBitmap& bitmap, int amount, unsigned seed = 1);

// Neighbourhood filters; size is the window side in image pixels (even
// values grow to the next odd one).
bool Mosaic(TBitmap& bitmap, int tileSize);
bool AverageFilter(TBitmap& bitmap, int size);
bool MedianFilter(TBitmap& bitmap, int size);
bool MaxFilter(TBitmap& bitmap, int size);
bool MinFilter(TBitmap& bitmap, int size);
bool Oilify(TBitmap& bitmap, int size);
bool Sharpen(TBitmap& bitmap, int amount);
bool Emboss(TBitmap& bitmap, int direction, int depth);

// The fixed 3 x 3 filters of the filter dialog, by its numbers.
enum class TSpatialFilter {
    Gradient = 1,
    Laplacian = 2,
    Sobel = 4,
    Prewitt = 8,
    ShiftDifference = 16,
    LineSegment = 32,
    Erosion = 64,
    Dilation = 128,
};
bool ApplySpatialFilter(TBitmap& bitmap, TSpatialFilter filter);

// Geometry and depth.
bool ResizeBitmap(TBitmap& bitmap, int width, int height);
bool RotateByAngle(TBitmap& bitmap, int hundredthsOfDegree);
bool ShearByAngle(TBitmap& bitmap, int hundredthsOfDegree);
// 1, 8 or 24 bits per pixel; the page's own depth is neutral.
bool ChangeColorDepth(TBitmap& bitmap, int bitsPerPixel);

// The custom dialog: the original page changed in intensity by brightness,
// then in contrast, then gamma-corrected; always computed from original.
TBitmap CustomAdjustment(const TBitmap& original, int brightness, int contrast, int gammaHundredths);

}  // namespace paxid
