#include "platform/imaging/Bitmap.h"

#include <gtest/gtest.h>

namespace paxid {
namespace {

TEST(Bitmap, CreatesWhitePagesOfEachDepth) {
    for (const int depth : {1, 8, 24}) {
        SCOPED_TRACE(depth);
        const TBitmap bitmap = TBitmap::Create(30, 20, depth);
        ASSERT_FALSE(bitmap.IsEmpty());
        EXPECT_EQ(bitmap.Width(), 30);
        EXPECT_EQ(bitmap.Height(), 20);
        EXPECT_EQ(bitmap.BitsPerPixel(), depth);
        EXPECT_EQ(bitmap.XResolution(), 0);
        EXPECT_EQ(bitmap.PixelColor(29, 19), (TColor{255, 255, 255}));
    }
    EXPECT_TRUE(TBitmap::Create(0, 10, 8).IsEmpty());
    EXPECT_TRUE(TBitmap::Create(10, 10, 5).IsEmpty());
}

TEST(Bitmap, CopiesAreIndependentAndMovesTransferOwnership) {
    TBitmap original = TBitmap::Create(4, 4, 24);
    original.SetResolution(300, 200);
    TBitmap copy = original;
    EXPECT_NE(copy.Get(), original.Get());
    EXPECT_EQ(copy.XResolution(), 300);
    EXPECT_EQ(copy.YResolution(), 200);

    TBitmap moved = std::move(original);
    EXPECT_TRUE(original.IsEmpty());  // NOLINT(bugprone-use-after-move): moved-from state is defined
    EXPECT_EQ(moved.Width(), 4);
    copy = moved;
    EXPECT_EQ(copy.Width(), 4);
    EXPECT_EQ(TBitmap().PixelColor(0, 0), (TColor{255, 255, 255}));
}

}  // namespace
}  // namespace paxid
