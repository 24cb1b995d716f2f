#include "platform/imaging/processing/ImageProcessing.h"

#include <gtest/gtest.h>
#include <leptonica/allheaders.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace paxid {
namespace {

// A page with structure at every depth: diagonal ramps for gray and colour,
// small blocks for 1 bit.
TBitmap PatternPage(int width, int height, int bitsPerPixel) {
    TBitmap page = TBitmap::Create(width, height, bitsPerPixel);
    Pix* pix = page.Get();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (bitsPerPixel == 1) {
                const bool block = (x / 3 + y / 5) % 2 == 0;
                const bool speck = x % 11 == 5 && y % 9 == 4;
                pixSetPixel(pix, x, y, block != speck ? 1 : 0);
            } else if (bitsPerPixel == 8) {
                pixSetPixel(pix, x, y, (x * 7 + y * 13) % 256);
            } else {
                l_uint32 value = 0;
                composeRGBPixel((x * 7) % 256, (y * 11) % 256, (x * 3 + y * 5) % 256, &value);
                pixSetPixel(pix, x, y, value);
            }
        }
    }
    page.SetResolution(200, 200);
    return page;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
    if (a.BitsPerPixel() != b.BitsPerPixel() || a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    l_int32 same = 0;
    return pixEqual(a.Get(), b.Get(), &same) == 0 && same == 1;
}

// One operation of the processing menu with one integer parameter.
struct TOperation {
    std::string Name;
    std::function<bool(TBitmap&, int)> Apply;
    int Neutral = 0;
    int Changing = 0;
    // Whether a 1-bit page stays 1-bit under a change.
    bool KeepsBitonal = false;
};

std::vector<TOperation> Operations() {
    auto filter = [](TSpatialFilter f) {
        return [f](TBitmap& b, int on) { return on == 0 ? !b.IsEmpty() : ApplySpatialFilter(b, f); };
    };
    return {
        {"Brightness", ChangeBrightness, 0, 300, false},
        {"Contrast", ChangeContrast, 0, 400, false},
        {"Gamma", CorrectGamma, 100, 150, false},
        {"Posterize", Posterize, 256, 4, false},
        {"Mosaic", Mosaic, 1, 4, false},
        {"Average", AverageFilter, 1, 5, false},
        {"Median", MedianFilter, 1, 3, true},
        {"Oilify", Oilify, 1, 5, false},
        {"Max", MaxFilter, 1, 3, true},
        {"Min", MinFilter, 1, 3, true},
        {"Solarize", Solarize, 255, 100, false},
        {"Hue", ChangeHue, 0, 120, false},
        {"Sharpen", Sharpen, 0, 700, false},
        {"Blur", Sharpen, 0, -700, false},
        {"Saturation", ChangeSaturation, 0, -600, false},
        {"HistogramContrast", HistogramContrast, 0, 1000, false},
        {"Emboss", [](TBitmap& b, int depth) { return Emboss(b, 2, depth); }, 0, 300, false},
        {"Noise", [](TBitmap& b, int amount) { return AddNoise(b, amount); }, 0, 200, false},
        {"Intensity",
         [](TBitmap& b, int low) {
             // 255 - low in 64 bits: the extreme cases pass INT_MIN and INT_MAX.
             const long long high = std::clamp(255LL - low, static_cast<long long>(INT_MIN),
                                               static_cast<long long>(INT_MAX));
             return StretchIntensity(b, low, static_cast<int>(high));
         },
         0, 40, false},
        {"Size",
         [](TBitmap& b, int grow) {
             const auto grown = [grow](int side) {
                 return static_cast<int>(std::clamp(static_cast<long long>(side) + grow,
                                                    static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
             };
             return ResizeBitmap(b, grown(b.Width()), grown(b.Height()));
         },
         0, 7, true},
        {"Rotate", RotateByAngle, 0, 9000, true},
        {"RotateFullTurn", RotateByAngle, 36000, 4500, true},
        {"Shear", ShearByAngle, 0, 1500, true},
        {"Gradient", filter(TSpatialFilter::Gradient), 0, 1, false},
        {"Laplacian", filter(TSpatialFilter::Laplacian), 0, 1, false},
        {"Sobel", filter(TSpatialFilter::Sobel), 0, 1, false},
        {"Prewitt", filter(TSpatialFilter::Prewitt), 0, 1, false},
        {"ShiftDifference", filter(TSpatialFilter::ShiftDifference), 0, 1, false},
        {"LineSegment", filter(TSpatialFilter::LineSegment), 0, 1, false},
        {"Erosion", filter(TSpatialFilter::Erosion), 0, 1, true},
        {"Dilation", filter(TSpatialFilter::Dilation), 0, 1, true},
    };
}

// Operations whose effect on gray pages is none by definition.
bool ColourOnly(const std::string& name) { return name == "Hue" || name == "Saturation"; }

TEST(ProcessingTest, NeutralParametersLeaveEveryDepthBitForBitUnchanged) {
    for (const int depth : {1, 8, 24}) {
        const TBitmap original = PatternPage(61, 47, depth);
        for (const TOperation& operation : Operations()) {
            SCOPED_TRACE(operation.Name + " at " + std::to_string(depth) + " bits");
            TBitmap page = original;
            EXPECT_TRUE(operation.Apply(page, operation.Neutral));
            EXPECT_TRUE(SamePixels(page, original));
        }
    }
}

TEST(ProcessingTest, ChangesKeepOrRaiseTheDepthAsTheResultAllows) {
    for (const int depth : {1, 8, 24}) {
        const TBitmap original = PatternPage(61, 47, depth);
        for (const TOperation& operation : Operations()) {
            if (ColourOnly(operation.Name) && depth != 24) {
                continue;
            }
            SCOPED_TRACE(operation.Name + " at " + std::to_string(depth) + " bits");
            TBitmap page = original;
            ASSERT_TRUE(operation.Apply(page, operation.Changing));
            EXPECT_FALSE(SamePixels(page, original));
            const int expectedDepth = depth == 1 && !operation.KeepsBitonal ? 8 : depth;
            EXPECT_EQ(page.BitsPerPixel(), expectedDepth);
            EXPECT_EQ(page.XResolution(), 200);
        }
    }
}

TEST(ProcessingTest, ExtremeParametersAreClampedToTheDialogRanges) {
    struct TClampCase {
        const char* Name;
        std::function<bool(TBitmap&, int)> Apply;
        int Limit;
        int Beyond;
    };
    const TClampCase cases[] = {
        {"Brightness high", ChangeBrightness, 1000, INT_MAX},   {"Brightness low", ChangeBrightness, -1000, INT_MIN},
        {"Contrast high", ChangeContrast, 1000, INT_MAX},       {"Contrast low", ChangeContrast, -1000, INT_MIN},
        {"Gamma high", CorrectGamma, 500, INT_MAX},             {"Gamma low", CorrectGamma, 1, INT_MIN},
        {"Posterize low", Posterize, 2, INT_MIN},               {"Mosaic high", Mosaic, 64, INT_MAX},
        {"Median high", MedianFilter, 31, INT_MAX},             {"Max high", MaxFilter, 31, INT_MAX},
        {"Oilify high", Oilify, 15, INT_MAX},                   {"Solarize low", Solarize, 0, INT_MIN},
        {"Sharpen high", Sharpen, 1000, INT_MAX},               {"Sharpen low", Sharpen, -1000, INT_MIN},
        {"Saturation low", ChangeSaturation, -1000, INT_MIN},   {"Shear high", ShearByAngle, 4500, INT_MAX},
        {"Shear low", ShearByAngle, -4500, INT_MIN},            {"Rotate high", RotateByAngle, 36000, INT_MAX},
    };
    const TBitmap original = PatternPage(40, 30, 24);
    for (const TClampCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap atLimit = original;
        TBitmap beyond = original;
        c.Apply(atLimit, c.Limit);
        c.Apply(beyond, c.Beyond);
        EXPECT_TRUE(SamePixels(atLimit, beyond));
    }
    TBitmap huge = original;
    EXPECT_FALSE(ResizeBitmap(huge, INT_MAX, INT_MAX));
    EXPECT_TRUE(SamePixels(huge, original));
    TBitmap tiny = original;
    EXPECT_TRUE(ResizeBitmap(tiny, INT_MIN, 0));
    EXPECT_EQ(tiny.Width(), 1);
    EXPECT_EQ(tiny.Height(), 1);
}

TEST(ProcessingTest, OnePixelPagesSurviveEveryOperation) {
    for (const int depth : {1, 8, 24}) {
        for (const TOperation& operation : Operations()) {
            SCOPED_TRACE(operation.Name + " at " + std::to_string(depth) + " bits");
            for (const int value : {operation.Changing, INT_MIN, INT_MAX}) {
                TBitmap page = PatternPage(1, 1, depth);
                operation.Apply(page, value);
                EXPECT_FALSE(page.IsEmpty());
            }
        }
    }
}

TEST(ProcessingTest, EmptyPagesAreRefused) {
    for (const TOperation& operation : Operations()) {
        SCOPED_TRACE(operation.Name);
        TBitmap page;
        EXPECT_FALSE(operation.Apply(page, operation.Changing));
        EXPECT_TRUE(page.IsEmpty());
    }
}

// A 20000 x 20000 1-bit page: operations that keep it bitonal run on it,
// those that would need gigabytes of gray refuse it and leave it alone.
TEST(ProcessingTest, HugeBitonalPagesNeverHangOrCrash) {
    TBitmap original = TBitmap::Create(20000, 20000, 1);
    ASSERT_FALSE(original.IsEmpty());
    pixRasterop(original.Get(), 1000, 1000, 500, 300, PIX_SET, nullptr, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    for (const char* name : {"Brightness", "Median", "Sharpen", "Max", "Erosion", "Rotate"}) {
        SCOPED_TRACE(name);
        for (const TOperation& operation : Operations()) {
            if (operation.Name != name) {
                continue;
            }
            TBitmap page = original;
            const bool done = operation.Apply(page, operation.Changing);
            EXPECT_EQ(done, operation.KeepsBitonal && operation.Name != "Median");
            EXPECT_EQ(page.BitsPerPixel(), 1);
            if (!done) {
                EXPECT_TRUE(SamePixels(page, original));
            }
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(ProcessingTest, ToneChangesGiveTheExpectedLevels) {
    struct TLevelCase {
        const char* Name;
        std::function<bool(TBitmap&)> Apply;
        int Input;
        int Expected;
    };
    const TLevelCase cases[] = {
        {"full brightness is white", [](TBitmap& b) { return ChangeBrightness(b, 1000); }, 10, 255},
        {"brightness adds a share of full scale", [](TBitmap& b) { return ChangeBrightness(b, 100); }, 100, 126},
        {"no contrast is mid gray", [](TBitmap& b) { return ChangeContrast(b, -1000); }, 10, 128},
        {"gamma above 100 brightens", [](TBitmap& b) { return CorrectGamma(b, 150); }, 64,
         static_cast<int>(std::lround(255 * std::pow(64 / 255.0, 1 / 1.5)))},
        {"two levels are black or white", [](TBitmap& b) { return Posterize(b, 2); }, 100, 0},
        {"solarize inverts above the threshold", [](TBitmap& b) { return Solarize(b, 100); }, 200, 55},
        {"solarize keeps below the threshold", [](TBitmap& b) { return Solarize(b, 100); }, 90, 90},
        {"intensity range stretches", [](TBitmap& b) { return StretchIntensity(b, 50, 150); }, 90, 102},
    };
    for (const TLevelCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap page = TBitmap::Create(3, 3, 8);
        pixSetAllArbitrary(page.Get(), c.Input);
        ASSERT_TRUE(c.Apply(page));
        l_uint32 value = 0;
        pixGetPixel(page.Get(), 1, 1, &value);
        EXPECT_EQ(static_cast<int>(value), c.Expected);
    }
}

TEST(ProcessingTest, NeighbourhoodFiltersActOnASingleDot) {
    // A black dot on white: the maximum and the median remove it, the minimum
    // grows it, edges appear around it and nowhere else.
    TBitmap page = TBitmap::Create(9, 9, 8);
    pixSetPixel(page.Get(), 4, 4, 0);
    auto at = [](const TBitmap& b, int x, int y) {
        l_uint32 value = 0;
        pixGetPixel(b.Get(), x, y, &value);
        return static_cast<int>(value);
    };
    TBitmap maxed = page;
    ASSERT_TRUE(MaxFilter(maxed, 3));
    EXPECT_EQ(at(maxed, 4, 4), 255);
    TBitmap median = page;
    ASSERT_TRUE(MedianFilter(median, 3));
    EXPECT_EQ(at(median, 4, 4), 255);
    TBitmap minimum = page;
    ASSERT_TRUE(MinFilter(minimum, 3));
    EXPECT_EQ(at(minimum, 3, 3), 0);
    EXPECT_EQ(at(minimum, 1, 1), 255);
    TBitmap sobel = page;
    ASSERT_TRUE(ApplySpatialFilter(sobel, TSpatialFilter::Sobel));
    EXPECT_GT(at(sobel, 3, 4), 0);
    EXPECT_EQ(at(sobel, 0, 0), 0);
    // 1-bit pages: erosion of the white grows the black dot and stays bitonal.
    TBitmap bitonal = TBitmap::Create(9, 9, 1);
    pixSetPixel(bitonal.Get(), 4, 4, 1);
    ASSERT_TRUE(ApplySpatialFilter(bitonal, TSpatialFilter::Erosion));
    EXPECT_EQ(bitonal.BitsPerPixel(), 1);
    EXPECT_EQ(at(bitonal, 3, 5), 1);
}

TEST(ProcessingTest, ColourChangesTurnHueAndSaturation) {
    TBitmap red = TBitmap::Create(4, 4, 24);
    l_uint32 pure = 0;
    composeRGBPixel(255, 0, 0, &pure);
    pixSetAllArbitrary(red.Get(), pure);
    TBitmap turned = red;
    ASSERT_TRUE(ChangeHue(turned, 120));
    l_int32 r = 0, g = 0, b = 0;
    pixGetRGBPixel(turned.Get(), 1, 1, &r, &g, &b);
    EXPECT_LT(r, 30);
    EXPECT_GT(g, 200);
    TBitmap gray = red;
    ASSERT_TRUE(ChangeSaturation(gray, -1000));
    pixGetRGBPixel(gray.Get(), 1, 1, &r, &g, &b);
    EXPECT_NEAR(r, g, 2);
    EXPECT_NEAR(g, b, 2);
}

TEST(ProcessingTest, GeometryChangesTheSize) {
    const TBitmap original = PatternPage(60, 40, 1);
    TBitmap rotated = original;
    ASSERT_TRUE(RotateByAngle(rotated, 9000));
    EXPECT_EQ(rotated.Width(), 40);
    EXPECT_EQ(rotated.Height(), 60);
    TBitmap sheared = original;
    ASSERT_TRUE(ShearByAngle(sheared, 4500));
    EXPECT_GE(sheared.Width(), 100);
    EXPECT_EQ(sheared.Height(), 40);
    TBitmap resized = original;
    ASSERT_TRUE(ResizeBitmap(resized, 30, 80));
    EXPECT_EQ(resized.Width(), 30);
    EXPECT_EQ(resized.Height(), 80);
    TBitmap deeper = original;
    ASSERT_TRUE(ChangeColorDepth(deeper, 24));
    EXPECT_EQ(deeper.BitsPerPixel(), 24);
    TBitmap same = original;
    ASSERT_TRUE(ChangeColorDepth(same, 1));
    EXPECT_TRUE(SamePixels(same, original));
}

TEST(CustomAdjustmentTest, AppliesIntensityContrastGammaInOrderFromTheOriginal) {
    for (const int depth : {1, 8, 24}) {
        SCOPED_TRACE(depth);
        const TBitmap original = PatternPage(33, 21, depth);
        EXPECT_TRUE(SamePixels(CustomAdjustment(original, 0, 0, 100), original));
        TBitmap stepwise = original;
        ChangeBrightness(stepwise, 200);
        ChangeContrast(stepwise, 300);
        CorrectGamma(stepwise, 70);
        EXPECT_TRUE(SamePixels(CustomAdjustment(original, 200, 300, 70), stepwise));
        // The original is never touched, so moving back restores it.
        CustomAdjustment(original, 200, 0, 100);
        EXPECT_TRUE(SamePixels(CustomAdjustment(original, 0, 0, 100), PatternPage(33, 21, depth)));
    }
}

}  // namespace
}  // namespace paxid
