// Neighbourhood filters: windows around every pixel.

#include "platform/imaging/processing/ImageProcessing.h"
#include "platform/imaging/processing/ProcessingSupport.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace paxid {

using processing::ClampByte;
using processing::MakeTonal;
using processing::Map3x3;
using processing::TakeResult;

namespace {

int OddSize(int size, const TProcessingRange& range) {
    size = range.Clamp(size);
    return size % 2 == 0 ? std::min(size + 1, range.Max) : size;
}

bool IsBitonal(const TBitmap& bitmap) { return !bitmap.IsEmpty() && bitmap.BitsPerPixel() == 1; }

bool TakeMapped(TBitmap& bitmap, TBitmap mapped, std::string_view operation) {
    if (mapped.IsEmpty()) {
        processing::Log(std::string(operation) + ": failed, page left unchanged");
        return false;
    }
    return TakeResult(bitmap, mapped.Release(), operation);
}

// Grows the black of a 1-bit page (darker: minimum) or shrinks it (lighter:
// maximum); black is the set bit.
bool BitonalMorph(TBitmap& bitmap, int size, bool darker, std::string_view operation) {
    Pix* result = darker ? pixDilateBrick(nullptr, bitmap.Get(), size, size)
                         : pixErodeBrick(nullptr, bitmap.Get(), size, size);
    return TakeResult(bitmap, result, operation);
}

bool GrayMorph(TBitmap& bitmap, int size, bool darker, std::string_view operation) {
    if (IsBitonal(bitmap)) {
        return BitonalMorph(bitmap, size, darker, operation);
    }
    if (!MakeTonal(bitmap, operation)) {
        return false;
    }
    Pix* pix = bitmap.Get();
    Pix* result = nullptr;
    if (pixGetDepth(pix) == 8) {
        result = darker ? pixErodeGray(pix, size, size) : pixDilateGray(pix, size, size);
    } else {
        result = pixColorMorph(pix, darker ? L_MORPH_ERODE : L_MORPH_DILATE, size, size);
    }
    return TakeResult(bitmap, result, operation);
}

std::uint8_t MedianOf9(const std::uint8_t* samples) {
    std::uint8_t v[9];
    std::copy(samples, samples + 9, v);
    std::nth_element(v, v + 4, v + 9);
    return v[4];
}

// A filter that needs gray levels on a 1-bit page works on a gray copy and
// thresholds its result back, so the page stays bitonal.
template <typename TOperation>
bool OnBitonalThroughGray(TBitmap& bitmap, std::string_view operation, TOperation apply) {
    TBitmap gray = bitmap;
    if (!MakeTonal(gray, operation) || !apply(gray)) {
        return false;
    }
    return TakeResult(bitmap, pixThresholdToBinary(gray.Get(), 128), operation);
}

bool MedianGrayOrColor(TBitmap& bitmap, int size) {
    if (size == 3) {
        return TakeMapped(bitmap, Map3x3(bitmap, MedianOf9), "MedianFilter");
    }
    Pix* result = pixRankFilter(bitmap.Get(), size, size, 0.5f);
    return TakeResult(bitmap, result, "MedianFilter");
}

}  // namespace

bool MaxFilter(TBitmap& bitmap, int size) {
    size = OddSize(size, kNeighbourhoodRange);
    if (size == kNeighbourhoodRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    return GrayMorph(bitmap, size, false, "MaxFilter");
}

bool MinFilter(TBitmap& bitmap, int size) {
    size = OddSize(size, kNeighbourhoodRange);
    if (size == kNeighbourhoodRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    return GrayMorph(bitmap, size, true, "MinFilter");
}

bool MedianFilter(TBitmap& bitmap, int size) {
    size = OddSize(size, kNeighbourhoodRange);
    if (size == kNeighbourhoodRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (IsBitonal(bitmap)) {
        return OnBitonalThroughGray(bitmap, "MedianFilter",
                                    [size](TBitmap& gray) { return MedianGrayOrColor(gray, size); });
    }
    return MakeTonal(bitmap, "MedianFilter") && MedianGrayOrColor(bitmap, size);
}

bool AverageFilter(TBitmap& bitmap, int size) {
    size = OddSize(size, kNeighbourhoodRange);
    if (size == kNeighbourhoodRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "AverageFilter")) {
        return false;
    }
    const int half = std::min({size / 2, (bitmap.Width() - 1) / 2, (bitmap.Height() - 1) / 2});
    if (half < 1) {
        return true;  // the window holds the pixel alone
    }
    return TakeResult(bitmap, pixBlockconv(bitmap.Get(), half, half), "AverageFilter");
}

bool Mosaic(TBitmap& bitmap, int tileSize) {
    tileSize = kMosaicRange.Clamp(tileSize);
    if (tileSize == kMosaicRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "Mosaic")) {
        return false;
    }
    Pix* pix = bitmap.Get();
    const bool gray = pixGetDepth(pix) == 8;
    const int width = pixGetWidth(pix);
    const int height = pixGetHeight(pix);
    const int wpl = pixGetWpl(pix);
    l_uint32* data = pixGetData(pix);
    for (int tileTop = 0; tileTop < height; tileTop += tileSize) {
        const int tileBottom = std::min(tileTop + tileSize, height);
        for (int tileLeft = 0; tileLeft < width; tileLeft += tileSize) {
            const int tileRight = std::min(tileLeft + tileSize, width);
            std::uint64_t sums[3] = {0, 0, 0};
            for (int y = tileTop; y < tileBottom; ++y) {
                const l_uint32* line = data + static_cast<std::size_t>(y) * wpl;
                for (int x = tileLeft; x < tileRight; ++x) {
                    if (gray) {
                        sums[0] += GET_DATA_BYTE(line, x);
                    } else {
                        sums[0] += line[x] >> 24;
                        sums[1] += (line[x] >> 16) & 0xFF;
                        sums[2] += (line[x] >> 8) & 0xFF;
                    }
                }
            }
            const std::uint64_t count = static_cast<std::uint64_t>(tileBottom - tileTop) * (tileRight - tileLeft);
            const l_uint32 red = static_cast<l_uint32>((sums[0] + count / 2) / count);
            const l_uint32 green = static_cast<l_uint32>((sums[1] + count / 2) / count);
            const l_uint32 blue = static_cast<l_uint32>((sums[2] + count / 2) / count);
            for (int y = tileTop; y < tileBottom; ++y) {
                l_uint32* line = data + static_cast<std::size_t>(y) * wpl;
                for (int x = tileLeft; x < tileRight; ++x) {
                    if (gray) {
                        SET_DATA_BYTE(line, x, red);
                    } else {
                        line[x] = (red << 24) | (green << 16) | (blue << 8) | 0xFF;
                    }
                }
            }
        }
    }
    return true;
}

bool Oilify(TBitmap& bitmap, int size) {
    size = OddSize(size, kOilifyRange);
    if (size == kOilifyRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "Oilify")) {
        return false;
    }
    // Every pixel takes the mean colour of the most frequent of 16 intensity
    // bins in its window.
    Pix* source = bitmap.Get();
    TBitmap result(pixCreateTemplate(source));
    if (result.IsEmpty()) {
        processing::Log("Oilify: failed, page left unchanged");
        return false;
    }
    const bool gray = pixGetDepth(source) == 8;
    const int width = pixGetWidth(source);
    const int height = pixGetHeight(source);
    const int half = size / 2;
    const int wpl = pixGetWpl(source);
    const l_uint32* data = pixGetData(source);
    l_uint32* out = pixGetData(result.Get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int counts[16] = {};
            std::uint32_t sums[16][3] = {};
            for (int wy = std::max(0, y - half); wy <= std::min(height - 1, y + half); ++wy) {
                const l_uint32* line = data + static_cast<std::size_t>(wy) * wpl;
                for (int wx = std::max(0, x - half); wx <= std::min(width - 1, x + half); ++wx) {
                    int r = 0;
                    int g = 0;
                    int b = 0;
                    if (gray) {
                        r = g = b = GET_DATA_BYTE(line, wx);
                    } else {
                        r = line[wx] >> 24;
                        g = (line[wx] >> 16) & 0xFF;
                        b = (line[wx] >> 8) & 0xFF;
                    }
                    const int bin = ((r * 77 + g * 150 + b * 29) >> 8) >> 4;
                    ++counts[bin];
                    sums[bin][0] += r;
                    sums[bin][1] += g;
                    sums[bin][2] += b;
                }
            }
            const int best = static_cast<int>(std::max_element(counts, counts + 16) - counts);
            const int n = counts[best];
            l_uint32* line = out + static_cast<std::size_t>(y) * wpl;
            if (gray) {
                SET_DATA_BYTE(line, x, sums[best][0] / n);
            } else {
                line[x] = ((sums[best][0] / n) << 24) | ((sums[best][1] / n) << 16) | ((sums[best][2] / n) << 8) | 0xFF;
            }
        }
    }
    return TakeResult(bitmap, result.Release(), "Oilify");
}

bool Sharpen(TBitmap& bitmap, int amount) {
    amount = kSharpenRange.Clamp(amount);
    if (amount == kSharpenRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "Sharpen")) {
        return false;
    }
    const double weight = amount / 1000.0;
    if (amount > 0) {
        // Unsharp masking over the 3 x 3 mean, as Leptonica's fast path does.
        return TakeMapped(bitmap, Map3x3(bitmap, [weight](const std::uint8_t* n) {
                              const int sum = n[0] + n[1] + n[2] + n[3] + n[4] + n[5] + n[6] + n[7] + n[8];
                              return ClampByte(n[4] + weight * (n[4] - sum / 9.0));
                          }),
                          "Sharpen");
    }
    return TakeMapped(bitmap, Map3x3(bitmap, [weight](const std::uint8_t* n) {
                          const int sum = n[0] + n[1] + n[2] + n[3] + n[4] + n[5] + n[6] + n[7] + n[8];
                          return ClampByte(n[4] * (1 + weight) - weight * sum / 9.0);
                      }),
                      "Sharpen");
}

bool Emboss(TBitmap& bitmap, int direction, int depth) {
    direction = kEmbossDirectionRange.Clamp(direction);
    depth = kEmbossDepthRange.Clamp(depth);
    if (depth == kEmbossDepthRange.Neutral) {
        return !bitmap.IsEmpty();
    }
    if (!MakeTonal(bitmap, "Emboss")) {
        return false;
    }
    // Neighbourhood positions (row * 3 + column) towards the light and away
    // from it, for north, north-east, ... clockwise.
    static constexpr int kToward[8] = {1, 2, 5, 8, 7, 6, 3, 0};
    const int toward = kToward[direction];
    const int away = 8 - toward;
    const double factor = depth / 100.0;
    return TakeMapped(bitmap, Map3x3(bitmap, [=](const std::uint8_t* n) {
                          return ClampByte(128.0 + factor * (n[toward] - n[away]));
                      }),
                      "Emboss");
}

bool ApplySpatialFilter(TBitmap& bitmap, TSpatialFilter filter) {
    switch (filter) {
    case TSpatialFilter::Erosion:
        return !bitmap.IsEmpty() && GrayMorph(bitmap, 3, true, "Erosion");
    case TSpatialFilter::Dilation:
        return !bitmap.IsEmpty() && GrayMorph(bitmap, 3, false, "Dilation");
    case TSpatialFilter::Gradient:
    case TSpatialFilter::Laplacian:
    case TSpatialFilter::Sobel:
    case TSpatialFilter::Prewitt:
    case TSpatialFilter::ShiftDifference:
    case TSpatialFilter::LineSegment:
        break;
    default:
        processing::Log("ApplySpatialFilter: unknown filter " + std::to_string(static_cast<int>(filter)));
        return false;
    }
    if (!MakeTonal(bitmap, "ApplySpatialFilter")) {
        return false;
    }
    // Neighbourhood indexes: 0 1 2 / 3 4 5 / 6 7 8.
    auto edges = [filter](const std::uint8_t* n) -> std::uint8_t {
        switch (filter) {
        case TSpatialFilter::Gradient:
            return ClampByte(std::abs(n[5] - n[3]) + std::abs(n[7] - n[1]));
        case TSpatialFilter::Laplacian:
            return ClampByte(std::abs(4 * n[4] - n[1] - n[3] - n[5] - n[7]));
        case TSpatialFilter::Sobel: {
            const int gx = (n[2] + 2 * n[5] + n[8]) - (n[0] + 2 * n[3] + n[6]);
            const int gy = (n[6] + 2 * n[7] + n[8]) - (n[0] + 2 * n[1] + n[2]);
            return ClampByte(std::sqrt(double(gx) * gx + double(gy) * gy));
        }
        case TSpatialFilter::Prewitt: {
            const int gx = (n[2] + n[5] + n[8]) - (n[0] + n[3] + n[6]);
            const int gy = (n[6] + n[7] + n[8]) - (n[0] + n[1] + n[2]);
            return ClampByte(std::sqrt(double(gx) * gx + double(gy) * gy));
        }
        case TSpatialFilter::ShiftDifference:
            return ClampByte(std::abs(n[4] - n[0]));
        default: {  // line segments: the strongest of four line detectors
            const int horizontal = 2 * (n[3] + n[4] + n[5]) - (n[0] + n[1] + n[2] + n[6] + n[7] + n[8]);
            const int vertical = 2 * (n[1] + n[4] + n[7]) - (n[0] + n[3] + n[6] + n[2] + n[5] + n[8]);
            const int diagonal = 2 * (n[0] + n[4] + n[8]) - (n[1] + n[2] + n[5] + n[3] + n[6] + n[7]);
            const int antiDiagonal = 2 * (n[2] + n[4] + n[6]) - (n[0] + n[1] + n[3] + n[5] + n[7] + n[8]);
            return ClampByte(std::max({std::abs(horizontal), std::abs(vertical), std::abs(diagonal),
                                       std::abs(antiDiagonal)}));
        }
        }
    };
    return TakeMapped(bitmap, Map3x3(bitmap, edges), "ApplySpatialFilter");
}

}  // namespace paxid
