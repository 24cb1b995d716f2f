#include "imaging/ImagingTestSupport.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "retrieval/pThumbImage.h"

#include <gtest/gtest.h>

#include <thread>

namespace paxid {
namespace {

const TColor kBlack{0, 0, 0};
const TColor kGray{128, 128, 128};
const TColor kSilver{192, 192, 192};

class ThumbImageTest : public ::testing::Test {
protected:
    // A black image file of width x height.
    std::string BlackImage(int width, int height) {
        const std::string path = Folder / ("black" + std::to_string(width) + "x" + std::to_string(height) + ".png");
        EXPECT_EQ(test::RunCommand(test::kConvert + " -size " + std::to_string(width) + "x" + std::to_string(height) +
                                   " xc:black '" + path + "'"),
                  0);
        return path;
    }

    test::TScratchFolder Folder;
    TThumbImage Thumb;
};

// The rectangle of the rendering inside the gray box, found on the middle row and column.
struct TPlacement {
    int Left = -1;
    int Top = -1;
    int Width = 0;
    int Height = 0;
};

TPlacement FindRendering(const TBitmap& box, int x, int y) {
    TPlacement found;
    for (int column = 1; column < box.Width() - 1; ++column) {
        if (box.PixelColor(column, y) != kGray) {
            found.Left = found.Left < 0 ? column : found.Left;
            found.Width = column - found.Left + 1;
        }
    }
    for (int row = 1; row < box.Height() - 1; ++row) {
        if (box.PixelColor(x, row) != kGray) {
            found.Top = found.Top < 0 ? row : found.Top;
            found.Height = row - found.Top + 1;
        }
    }
    return found;
}

TEST_F(ThumbImageTest, ScalesPagesToFitWithTheirProportions) {
    struct TCase {
        const char* Name;
        int ImageWidth, ImageHeight, ThumbWidth, ThumbHeight;
        int Left, Top, Width, Height;  // expected rendering; edges at the frame read as the frame
    };
    const TCase cases[] = {
        {"wide page is raised to 16 rows", 1000, 100, 70, 100, 1, 42, 68, 16},
        {"square page in a tall box", 100, 100, 100, 140, 1, 20, 98, 100},
        {"tall page is centred across", 50, 200, 70, 100, 22, 1, 25, 98},
        {"small page is enlarged", 10, 10, 70, 100, 1, 15, 68, 70},
        {"same proportions fill the box", 140, 200, 70, 100, 1, 1, 68, 98},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.Name);
        Thumb.ThumbWidth = item.ThumbWidth;
        Thumb.ThumbHeight = item.ThumbHeight;
        Thumb.SetFileName(BlackImage(item.ImageWidth, item.ImageHeight));
        bool loaded = false;
        const TBitmap box = Thumb.PageThumbnail(loaded);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(box.Width(), item.ThumbWidth);
        ASSERT_EQ(box.Height(), item.ThumbHeight);
        EXPECT_EQ(box.BitsPerPixel(), 24);
        const TPlacement found = FindRendering(box, item.ThumbWidth / 2, item.ThumbHeight / 2);
        EXPECT_EQ(found.Left, item.Left);
        EXPECT_EQ(found.Top, item.Top);
        EXPECT_EQ(found.Width, item.Width);
        EXPECT_EQ(found.Height, item.Height);
        EXPECT_EQ(box.PixelColor(0, 0), kBlack);
        EXPECT_EQ(box.PixelColor(item.ThumbWidth - 1, item.ThumbHeight - 1), kBlack);

        // A decoded image given by the caller is drawn the same way without the file.
        TBitmap decoded = TBitmap::Create(item.ImageWidth, item.ImageHeight, 24);
        FillBitmap(decoded, kBlack);
        Thumb.SetFileName(Folder / "no such file.png");
        const TBitmap fromMemory = Thumb.PageThumbnail(loaded, &decoded);
        EXPECT_TRUE(loaded);
        EXPECT_TRUE(test::SamePixels(fromMemory, box));
    }
}

TEST_F(ThumbImageTest, BitonalPagesAreDrawnInGray) {
    TBitmap page = TBitmap::Create(2480, 3508, 1);
    for (int y = 0; y < 3508; y += 6) {
        TBitmap line = TBitmap::Create(2480, 1, 1);
        FillBitmap(line, kBlack);
        CombineBitmap(page, 0, y, 2480, 1, line, 0, 0, kCombineCopyBitonal);
    }
    const std::string path = Folder / "lines.tif";
    ASSERT_EQ(SaveBitmap(path, page, kFormatTiffG4, 1, 0, 0), kImagingSuccess);
    Thumb.SetFileName(path);
    bool loaded = false;
    const TBitmap box = Thumb.PageThumbnail(loaded);
    ASSERT_TRUE(loaded);
    const TColor middle = box.PixelColor(35, 50);
    EXPECT_GT(middle.Red, 170);
    EXPECT_LT(middle.Red, 240);
}

TEST_F(ThumbImageTest, BoxesForUnreadableAndMissingFiles) {
    const TBitmap blank = Thumb.BlankPicture();
    EXPECT_EQ(blank.PixelColor(0, 50), kBlack);
    EXPECT_EQ(blank.PixelColor(69, 50), kBlack);
    EXPECT_EQ(blank.PixelColor(35, 99), kBlack);
    EXPECT_EQ(blank.PixelColor(1, 1), kGray);
    EXPECT_EQ(blank.PixelColor(68, 98), kGray);

    Thumb.SetFileName(Folder / "missing.tif");
    const TBitmap crossedWithoutFile = Thumb.CrossedPicture();
    int silver = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 70; ++x) {
            silver += crossedWithoutFile.PixelColor(x, y) == kSilver ? 1 : 0;
        }
    }
    EXPECT_GT(silver, 100);
    // The black pen runs from (5, 5) to (65, 95).
    for (int y = 15; y <= 85; y += 10) {
        const int x = 5 + (y - 5) * 60 / 90;
        EXPECT_TRUE(crossedWithoutFile.PixelColor(x, y) == kBlack || crossedWithoutFile.PixelColor(x + 1, y) == kBlack ||
                    crossedWithoutFile.PixelColor(x - 1, y) == kBlack)
            << y;
    }
    bool loaded = true;
    const TBitmap notFound = Thumb.PageThumbnail(loaded);
    EXPECT_FALSE(loaded);
    // "File not found" differs from the crossed box only where its words are written.
    int textPixels = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 70; ++x) {
            if (notFound.PixelColor(x, y) != crossedWithoutFile.PixelColor(x, y)) {
                EXPECT_LT(y, 34);
                EXPECT_LT(x, 40);
                ++textPixels;
            }
        }
    }
    EXPECT_GT(textPixels, 20);

    // An existing file that is not a readable image: the crossed box with
    // the small-icon mark in its bottom-right corner at (49, 79), 16 pixels.
    const std::string corrupt = Folder / "corrupt.tif";
    test::WriteFile(corrupt, std::string("II*\0garbage garbage garbage", 27));
    Thumb.SetFileName(corrupt);
    const TBitmap crossed = Thumb.PageThumbnail(loaded);
    EXPECT_FALSE(loaded);
    int marked = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 70; ++x) {
            if (crossed.PixelColor(x, y) != crossedWithoutFile.PixelColor(x, y)) {
                EXPECT_GE(x, 49);
                EXPECT_LT(x, 65);
                EXPECT_GE(y, 79);
                EXPECT_LT(y, 95);
                ++marked;
            }
        }
    }
    EXPECT_GT(marked, 10);
}

TEST_F(ThumbImageTest, IconsAreCentredAtStandardOrHalfSize) {
    const std::string text = Folder / "notes.txt";
    test::WriteFile(text, "some text\n");
    Thumb.SetFileName(text);
    struct TCase {
        int Width;
        int Height;
        int IconSize;
    };
    for (const TCase item : {TCase{70, 100, 32}, TCase{30, 100, 16}, TCase{100, 20, 16}}) {
        SCOPED_TRACE(item.Width);
        Thumb.ThumbWidth = item.Width;
        Thumb.ThumbHeight = item.Height;
        bool drawn = false;
        const TBitmap box = Thumb.IconPicture(drawn);
        ASSERT_TRUE(drawn);
        const int left = (item.Width - item.IconSize) / 2;
        const int top = (item.Height - item.IconSize) / 2;
        int changed = 0;
        for (int y = 1; y < item.Height - 1; ++y) {
            for (int x = 1; x < item.Width - 1; ++x) {
                if (box.PixelColor(x, y) != kGray) {
                    EXPECT_GE(x, left);
                    EXPECT_LT(x, left + item.IconSize);
                    EXPECT_GE(y, top);
                    EXPECT_LT(y, top + item.IconSize);
                    ++changed;
                }
            }
        }
        EXPECT_GT(changed, item.IconSize);
    }
    Thumb.SetFileName(Folder / "gone.txt");
    bool drawn = true;
    const TBitmap missing = Thumb.IconPicture(drawn);
    EXPECT_FALSE(drawn);
    EXPECT_TRUE(test::SamePixels(missing, Thumb.NotFoundPicture()));
}

// Without an icon theme the file still gets a drawn glyph in the box.
TEST_F(ThumbImageTest, IconsFallBackToADrawnGlyphWithoutATheme) {
    const test::TScopedEnv dataHome("XDG_DATA_HOME", Folder / "no-data-home");
    const test::TScopedEnv dataDirs("XDG_DATA_DIRS", Folder / "no-data-dirs");
    const std::string text = Folder / "notes.txt";
    test::WriteFile(text, "some text\n");
    Thumb.SetFileName(text);
    bool drawn = false;
    const TBitmap box = Thumb.IconPicture(drawn);
    ASSERT_TRUE(drawn);
    // The glyph is a white sheet with a black outline, 32 pixels at (19, 34).
    EXPECT_EQ(box.PixelColor(35, 50), (TColor{255, 255, 255}));
    EXPECT_EQ(box.PixelColor(18, 50), kGray);
    EXPECT_EQ(box.PixelColor(51, 50), kGray);
}

// The loader and the main thread each draw with a TThumbImage of their own.
TEST_F(ThumbImageTest, TwoThreadsDrawTheSameThumbnails) {
    const std::string colour = BlackImage(300, 200);
    TBitmap page = TBitmap::Create(800, 1100, 1);
    const std::string bitonal = Folder / "page.tif";
    ASSERT_EQ(SaveBitmap(bitonal, page, kFormatTiffG4, 1, 0, 0), kImagingSuccess);
    const auto draw = [&](std::vector<TBitmap>& out) {
        TThumbImage thumb;
        for (int round = 0; round < 10; ++round) {
            bool loaded = false;
            thumb.SetFileName(round % 2 == 0 ? colour : bitonal);
            out.push_back(thumb.PageThumbnail(loaded));
            thumb.SetFileName(Folder / "missing.png");
            out.push_back(thumb.PageThumbnail(loaded));
        }
    };
    std::vector<TBitmap> first;
    std::vector<TBitmap> second;
    std::thread other(draw, std::ref(second));
    draw(first);
    other.join();
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t index = 0; index < first.size(); ++index) {
        EXPECT_TRUE(test::SamePixels(first[index], second[index])) << index;
    }
}

TEST_F(ThumbImageTest, PageCountAndPageSelection) {
    TBitmap page = TBitmap::Create(40, 30, 1);
    const std::string path = Folder / "Three.tif";
    for (int index = 0; index < 3; ++index) {
        ASSERT_EQ(SaveBitmap(path, page, kFormatTiffG4, 1, 0, index == 0 ? 0 : kSaveAppend), kImagingSuccess);
    }
    Thumb.SetFileName(path);
    EXPECT_EQ(Thumb.PageCount(), 3);
    Thumb.SetPage(3);
    Thumb.SetFileName(Folder / "THREE.TIF");  // the same name to this object
    EXPECT_EQ(Thumb.Page(), 3);
    EXPECT_EQ(Thumb.FileName(), path);
    Thumb.SetFileName(Folder / "other.txt");
    EXPECT_EQ(Thumb.Page(), 0);
    test::WriteFile(Folder / "other.txt", "text");
    EXPECT_EQ(Thumb.PageCount(), -1);
    Thumb.SetFileName(Folder / "missing.tif");
    EXPECT_EQ(Thumb.PageCount(), -1);
}

}  // namespace
}  // namespace paxid
