#include "retrieval/pThumbImage.h"

#include "foundation/pFileUtils.h"

#include <leptonica/allheaders.h>

namespace paxid {

void TThumbImage::SetFileName(const std::string& name) {
    if (name != FileName) {
        FileName = name;
        Page = 0;
    }
}

int TThumbImage::PageCount() {
    int format = IFF_UNKNOWN;
    if (!FileExists(FileName) || findFileFormat(FileName.c_str(), &format) != 0 || format == IFF_UNKNOWN) {
        return -1;
    }
    if (format == IFF_TIFF || (format >= IFF_TIFF_PACKBITS && format <= IFF_TIFF_ZIP)) {
        FILE* file = fopenReadStream(FileName.c_str());
        l_int32 pages = 0;
        const bool counted = file != nullptr && tiffGetCount(file, &pages) == 0;
        if (file != nullptr) {
            fclose(file);
        }
        return counted ? pages : -1;
    }
    return 1;
}

TBitmap TThumbImage::BlankPicture() {
    TBitmap box = TBitmap::Create(ThumbWidth, ThumbHeight, 24);
    if (!box.IsEmpty()) {
        pixSetAllArbitrary(box.Get(), 0x80808000);
    }
    return box;
}

TBitmap TThumbImage::NotFoundPicture() { return BlankPicture(); }

TBitmap TThumbImage::PageThumbnail(bool& loaded, const TBitmap*) {
    loaded = PageCount() > 0;
    return BlankPicture();
}

TBitmap TThumbImage::IconPicture(bool& drawn) {
    drawn = FileExists(FileName);
    return BlankPicture();
}

}  // namespace paxid
