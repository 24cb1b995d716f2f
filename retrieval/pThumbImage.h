#pragma once

#include "platform/imaging/Bitmap.h"

#include <string>

namespace paxid {

// Provisional thumbnail generator of the engine branch: replaced by the
// imaging layer's own when the branches meet.
class TThumbImage {
public:
    int ThumbWidth = 70;
    int ThumbHeight = 100;
    int ThumbShowTextLevel = 2;
    std::string FileName;
    int Page = 0;

    void SetFileName(const std::string& name);
    void SetPage(int page) { Page = page; }
    int PageCount();
    TBitmap BlankPicture();
    TBitmap NotFoundPicture();
    TBitmap PageThumbnail(bool& loaded, const TBitmap* decodedImage);
    TBitmap IconPicture(bool& drawn);
};

}  // namespace paxid
