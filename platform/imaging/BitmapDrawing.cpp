#include "platform/imaging/BitmapDrawing.h"

#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>

#include <memory>
#include <string>

namespace paxid {

namespace {

struct TFontDeleter {
    void operator()(L_BMF* font) const { bmfDestroy(&font); }
};

// The smallest built-in Leptonica font has 17-pixel lines; text is rendered
// with it and halved, giving the 8-pixel text of a small caption.
constexpr int kFontSize = 4;

TBitmap RenderTextMask(std::string_view text) {
    std::unique_ptr<L_BMF, TFontDeleter> font(bmfCreate(nullptr, kFontSize));
    if (!font) {
        return {};
    }
    const std::string ascii(text);
    l_int32 width = 0;
    if (bmfGetStringWidth(font.get(), ascii.c_str(), &width) != 0 || width <= 0) {
        return {};
    }
    TBitmap mask(pixCreate(width + 2, font->lineheight, 1));
    if (mask.IsEmpty()) {
        return {};
    }
    l_int32 baseline = 0;
    bmfGetBaseline(font.get(), 'x', &baseline);
    pixSetTextline(mask.Get(), font.get(), ascii.c_str(), 1, 0, baseline, nullptr, nullptr);
    Pix* gray = pixScaleToGray2(mask.Get());
    if (gray == nullptr) {
        return {};
    }
    Pix* half = pixThresholdToBinary(gray, 200);
    pixDestroy(&gray);
    return TBitmap(half);
}

}  // namespace

void DrawFrame(TBitmap& bitmap, TColor color) {
    if (bitmap.IsEmpty()) {
        return;
    }
    BOX* box = boxCreate(0, 0, bitmap.Width(), bitmap.Height());
    pixRenderBoxArb(bitmap.Get(), box, 1, color.Red, color.Green, color.Blue);
    boxDestroy(&box);
}

void DrawLine(TBitmap& bitmap, int x1, int y1, int x2, int y2, int penWidth, TColor color) {
    if (bitmap.IsEmpty()) {
        return;
    }
    pixRenderLineArb(bitmap.Get(), x1, y1, x2, y2, penWidth, color.Red, color.Green, color.Blue);
}

void DrawPicture(TBitmap& bitmap, const TBitmap& picture, int x, int y) {
    CombineBitmap(bitmap, x, y, picture.Width(), picture.Height(), picture, 0, 0, kCombineCopy);
}

void DrawPictureBlended(TBitmap& bitmap, const TBitmap& picture, int x, int y) {
    if (bitmap.IsEmpty() || picture.IsEmpty()) {
        return;
    }
    if (pixGetDepth(picture.Get()) != 32 || pixGetSpp(picture.Get()) != 4) {
        DrawPicture(bitmap, picture, x, y);
        return;
    }
    InstallImagingMessageHandlers();
    Pix* alpha = pixGetRGBComponent(picture.Get(), L_ALPHA_CHANNEL);
    Pix* colour = pixCopy(nullptr, picture.Get());
    if (alpha != nullptr && colour != nullptr) {
        pixSetSpp(colour, 3);
        Pix* blended = pixBlendWithGrayMask(bitmap.Get(), colour, alpha, x, y);
        if (blended != nullptr) {
            pixSetSpp(blended, 3);
            pixCopyResolution(blended, bitmap.Get());
            bitmap = TBitmap(blended);
        }
    }
    pixDestroy(&alpha);
    pixDestroy(&colour);
}

void DrawText(TBitmap& bitmap, int x, int y, std::string_view text, TColor color) {
    if (bitmap.IsEmpty() || text.empty()) {
        return;
    }
    InstallImagingMessageHandlers();
    const TBitmap mask = RenderTextMask(text);
    if (mask.IsEmpty()) {
        return;
    }
    l_uint32 value = 0;
    composeRGBPixel(color.Red, color.Green, color.Blue, &value);
    pixPaintThroughMask(bitmap.Get(), mask.Get(), x, y, value);
}

}  // namespace paxid
