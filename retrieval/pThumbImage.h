#pragma once

#include "platform/imaging/Bitmap.h"

#include <string>

namespace paxid {

// Draws the small pictures of the thumbnail strip: a scaled page of an image
// file, the file's icon for other documents, a crossed box for an image that
// cannot be read and a "File not found" box for a missing file. Every picture
// is a new 24-bit ThumbWidth x ThumbHeight bitmap owned by the caller. Used on
// the loader thread by the downloader; a separate object on the main thread
// redraws edited pages.
class TThumbImage {
public:
    // The standard icon size in pixels; small icons are half of it.
    static constexpr int kStandardIconSize = 32;

    int ThumbWidth = 70;   // pixels
    int ThumbHeight = 100;
    // Caption level the page root keeps here for its thumbnail list; not used for drawing.
    int ThumbShowTextLevel = 2;

    const std::string& FileName() const { return FFileName; }
    // A name equal to FileName without regard to case changes nothing;
    // another one also selects the default page (0).
    void SetFileName(const std::string& name);
    int Page() const { return FPage; }
    // 1-based page of FileName; 0 is the file's default (first) page.
    void SetPage(int page) { FPage = page; }

    // Pages of FileName from its header; -1 when it is not a readable image.
    int PageCount() const;

    // Gray box with a black one-pixel frame.
    TBitmap BlankPicture() const;
    // The crossed box with the three words "File", "not", "found".
    TBitmap NotFoundPicture() const;
    // Page Page of FileName scaled into the box, or decodedImage when given;
    // the crossed box when it cannot be loaded. loaded tells which.
    TBitmap PageThumbnail(bool& loaded, const TBitmap* decodedImage = nullptr) const;
    // The file's icon centred in the box; the "File not found" box for a missing file.
    TBitmap IconPicture(bool& drawn) const;
    // The box for an image file that exists but cannot be decoded.
    TBitmap CrossedPicture() const;

private:
    std::string FFileName;
    int FPage = 0;
};

}  // namespace paxid
