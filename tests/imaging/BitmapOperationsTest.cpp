#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/BitmapDrawing.h"
#include "platform/imaging/BitmapOperations.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

const TColor kBlack{0, 0, 0};
const TColor kWhite{255, 255, 255};
const TColor kRed{255, 0, 0};

// A 40 x 20 bitmap, white, with one marked pixel at (3, 2) near its top-left corner.
class BitmapOperationsTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        Page = TBitmap::Create(40, 20, GetParam());
        ASSERT_FALSE(Page.IsEmpty());
        Page.SetResolution(300, 150);
        TBitmap dot = TBitmap::Create(1, 1, GetParam());
        ASSERT_TRUE(FillBitmap(dot, kBlack));
        ASSERT_TRUE(CombineBitmap(Page, 3, 2, 1, 1, dot, 0, 0, kCombineCopy));
    }
    TBitmap Page;
};

TEST_P(BitmapOperationsTest, QuarterTurnsAreExactAndKeepResolution) {
    struct TCase {
        int Angle;  // hundredths of a degree, clockwise
        int Width;
        int Height;
        int X;  // where the marked pixel lands
        int Y;
    };
    const TCase cases[] = {
        {9000, 20, 40, 17, 3}, {-9000, 20, 40, 2, 36}, {18000, 40, 20, 36, 17}, {27000, 20, 40, 2, 36}, {36000, 40, 20, 3, 2},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Angle);
        TBitmap turned = Page;
        ASSERT_TRUE(RotateBitmap(turned, item.Angle));
        EXPECT_EQ(turned.Width(), item.Width);
        EXPECT_EQ(turned.Height(), item.Height);
        EXPECT_EQ(turned.BitsPerPixel(), GetParam());
        EXPECT_EQ(turned.PixelColor(item.X, item.Y), kBlack);
        EXPECT_EQ(turned.XResolution(), 300);
        int black = 0;
        for (int y = 0; y < turned.Height(); ++y) {
            for (int x = 0; x < turned.Width(); ++x) {
                black += turned.PixelColor(x, y) == kBlack ? 1 : 0;
            }
        }
        EXPECT_EQ(black, 1);
    }
}

TEST_P(BitmapOperationsTest, OtherAnglesGrowTheCanvasWithWhiteCorners) {
    TBitmap turned = Page;
    FillBitmap(turned, kBlack);
    ASSERT_TRUE(RotateBitmap(turned, 4500));
    EXPECT_GT(turned.Width(), 40);
    EXPECT_GT(turned.Height(), 20);
    EXPECT_EQ(turned.PixelColor(0, 0), kWhite);
    EXPECT_EQ(turned.PixelColor(turned.Width() - 1, turned.Height() - 1), kWhite);
    const TColor centre = turned.PixelColor(turned.Width() / 2, turned.Height() / 2);
    EXPECT_EQ(centre, kBlack);
}

TEST_P(BitmapOperationsTest, TrimKeepsTheRectangle) {
    TBitmap trimmed = Page;
    ASSERT_TRUE(TrimBitmap(trimmed, 2, 1, 10, 5));
    EXPECT_EQ(trimmed.Width(), 10);
    EXPECT_EQ(trimmed.Height(), 5);
    EXPECT_EQ(trimmed.PixelColor(1, 1), kBlack);
    EXPECT_EQ(trimmed.BitsPerPixel(), GetParam());
    TBitmap outside = Page;
    EXPECT_FALSE(TrimBitmap(outside, 100, 100, 5, 5));
    EXPECT_EQ(outside.Width(), 40);
}

TEST_P(BitmapOperationsTest, CombineCopiesARectangleAcrossDepths) {
    TBitmap colour = TBitmap::Create(10, 10, 24);
    FillBitmap(colour, kBlack);
    ASSERT_TRUE(CombineBitmap(Page, 30, 15, 10, 10, colour, 0, 0, GetParam() == 1 ? kCombineCopyBitonal : kCombineCopy));
    EXPECT_EQ(Page.PixelColor(30, 15), kBlack);
    EXPECT_EQ(Page.PixelColor(39, 19), kBlack);
    EXPECT_EQ(Page.PixelColor(29, 15), kWhite);
    EXPECT_EQ(Page.BitsPerPixel(), GetParam());
    EXPECT_FALSE(CombineBitmap(Page, 0, 0, 5, 5, colour, 0, 0, 123));
}

INSTANTIATE_TEST_SUITE_P(Depths, BitmapOperationsTest, ::testing::Values(1, 8, 24));

TEST(BitmapOperations, ConvertsColourResolution) {
    TBitmap colour = TBitmap::Create(8, 8, 24);
    FillBitmap(colour, kRed);
    TBitmap gray = colour;
    ASSERT_TRUE(ConvertColorResolution(gray, 8));
    EXPECT_EQ(gray.BitsPerPixel(), 8);
    EXPECT_EQ(gray.PixelColor(0, 0).Red, gray.PixelColor(0, 0).Blue);
    TBitmap bitonal = colour;
    ASSERT_TRUE(ConvertColorResolution(bitonal, 1));
    EXPECT_EQ(bitonal.BitsPerPixel(), 1);
    TBitmap back = bitonal;
    ASSERT_TRUE(ConvertColorResolution(back, 24));
    EXPECT_EQ(back.BitsPerPixel(), 24);
    EXPECT_FALSE(ConvertColorResolution(back, 5));
}

// A bitonal page shrunk for a thumbnail is shown in gray: fine lines fade
// rather than vanish.
TEST(BitmapOperations, PaintScaledShowsBitonalPagesInGray) {
    TBitmap page = TBitmap::Create(400, 400, 1);
    for (int x = 0; x < 400; x += 8) {
        DrawLine(page, x, 0, x, 399, 1, kBlack);
    }
    const TBitmap small = PaintScaled(page, 50, 40);
    ASSERT_EQ(small.Width(), 50);
    ASSERT_EQ(small.Height(), 40);
    EXPECT_EQ(small.BitsPerPixel(), 24);
    const TColor sample = small.PixelColor(25, 20);
    EXPECT_GT(sample.Red, 150);
    EXPECT_LT(sample.Red, 250);
    EXPECT_TRUE(PaintScaled(TBitmap(), 10, 10).IsEmpty());
    EXPECT_TRUE(PaintScaled(page, 0, 10).IsEmpty());
}

TEST(BitmapDrawing, FrameLinesAndText) {
    TBitmap box = TBitmap::Create(70, 100, 24);
    FillBitmap(box, TColor{128, 128, 128});
    DrawFrame(box, kBlack);
    EXPECT_EQ(box.PixelColor(0, 0), kBlack);
    EXPECT_EQ(box.PixelColor(69, 99), kBlack);
    EXPECT_EQ(box.PixelColor(35, 0), kBlack);
    EXPECT_EQ(box.PixelColor(1, 1), (TColor{128, 128, 128}));
    DrawText(box, 2, 2, "File", kBlack);
    int dark = 0;
    for (int y = 2; y < 12; ++y) {
        for (int x = 2; x < 30; ++x) {
            dark += box.PixelColor(x, y) == kBlack ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 10);
    EXPECT_EQ(box.PixelColor(60, 50), (TColor{128, 128, 128}));
}

}  // namespace
}  // namespace paxid
