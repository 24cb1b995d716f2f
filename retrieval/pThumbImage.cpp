#include "retrieval/pThumbImage.h"

#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/imaging/BitmapDrawing.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/IconTheme.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace paxid {

namespace {

const TColor kGray{128, 128, 128};
const TColor kBlack{0, 0, 0};
const TColor kSilver{192, 192, 192};
// Thumbnails are never drawn smaller than this many pixels a side.
constexpr int kMinimumRendering = 16;

// The shell icon of a file: the theme's icon for its content type, else a drawn glyph.
TBitmap FileIcon(const std::string& fileName, int size) {
    TBitmap icon = LoadThemeIcon(DetectContentType(fileName), size);
    return icon.IsEmpty() ? DrawnFileGlyph(size) : icon;
}

}  // namespace

void TThumbImage::SetFileName(const std::string& name) {
    if (name.size() == FFileName.size() && ::strcasecmp(name.c_str(), FFileName.c_str()) == 0) {
        return;
    }
    FFileName = name;
    FPage = 0;
}

int TThumbImage::PageCount() const {
    TImageFileInfo info;
    return FileInfo(FFileName, FPage, info) == kImagingSuccess ? info.TotalPages : -1;
}

TBitmap TThumbImage::BlankPicture() const {
    TBitmap box = TBitmap::Create(ThumbWidth, ThumbHeight, 24);
    FillBitmap(box, kGray);
    DrawFrame(box, kBlack);
    return box;
}

TBitmap TThumbImage::CrossedPicture() const {
    TBitmap box = BlankPicture();
    const int w = ThumbWidth;
    const int h = ThumbHeight;
    DrawLine(box, 5, 5, w - 5, h - 5, 2, kBlack);
    DrawLine(box, w - 5, 5, 5, h - 5, 2, kBlack);
    DrawLine(box, w - 3, 5, 7, h - 5, 1, kSilver);
    DrawLine(box, 7, 5, w - 3, h - 5, 1, kSilver);
    if (FileExists(FFileName)) {
        const int small = kStandardIconSize / 2;
        DrawPictureBlended(box, FileIcon(FFileName, small), w - kStandardIconSize / 2 - 5,
                           h - kStandardIconSize / 2 - 5);
    }
    return box;
}

TBitmap TThumbImage::NotFoundPicture() const {
    TBitmap box = CrossedPicture();
    DrawText(box, 2, 2, "File", kBlack);
    DrawText(box, 2, 12, "not", kBlack);
    DrawText(box, 2, 22, "found", kBlack);
    return box;
}

TBitmap TThumbImage::IconPicture(bool& drawn) const {
    drawn = false;
    if (!FileExists(FFileName)) {
        return NotFoundPicture();
    }
    const bool small = ThumbWidth < kStandardIconSize || ThumbHeight < kStandardIconSize;
    const int size = small ? kStandardIconSize / 2 : kStandardIconSize;
    TBitmap box = BlankPicture();
    DrawPictureBlended(box, FileIcon(FFileName, size), (ThumbWidth - size) / 2, (ThumbHeight - size) / 2);
    drawn = true;
    return box;
}

TBitmap TThumbImage::PageThumbnail(bool& loaded, const TBitmap* decodedImage) const {
    loaded = false;
    if (decodedImage == nullptr && !FileExists(FFileName)) {
        return NotFoundPicture();
    }
    TBitmap image;
    int result = kImagingFailure;
    try {
        if (decodedImage != nullptr) {
            image = *decodedImage;
            result = image.IsEmpty() ? kImagingFailure : kImagingSuccess;
        } else {
            result = LoadPage(FFileName, FPage, image);
        }
    } catch (const std::exception& error) {
        WriteLog("TThumbImage", std::string("PageThumbnail EXCEPTION ") + error.what());
        result = kImagingFailure;
    }
    if (result != kImagingSuccess) {
        return CrossedPicture();
    }

    const double ratioX = static_cast<double>(image.Width()) / ThumbWidth;
    const double ratioY = static_cast<double>(image.Height()) / ThumbHeight;
    int w = ThumbWidth;
    int h = ThumbHeight;
    if (ratioY < ratioX) {
        h = static_cast<int>(std::lround(image.Height() / ratioX));
    } else if (ratioY > ratioX) {
        w = static_cast<int>(std::lround(image.Width() / ratioY));
    }
    w = std::max(std::min(w, ThumbWidth), kMinimumRendering);
    h = std::max(std::min(h, ThumbHeight), kMinimumRendering);

    const TBitmap rendering = PaintScaled(image, w, h);
    TBitmap box = TBitmap::Create(ThumbWidth, ThumbHeight, 24);
    FillBitmap(box, kGray);
    DrawPicture(box, rendering, (ThumbWidth - w) / 2, (ThumbHeight - h) / 2);
    DrawFrame(box, kBlack);
    loaded = !rendering.IsEmpty();
    return loaded ? box : CrossedPicture();
}

}  // namespace paxid
