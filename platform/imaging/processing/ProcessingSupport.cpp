#include "platform/imaging/processing/ProcessingSupport.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>

#include <cmath>
#include <string>

namespace paxid::processing {

void Log(std::string_view message) noexcept { PlatformLog("ImageProcessing", message); }

bool MakeTonal(TBitmap& bitmap, std::string_view operation) {
    InstallImagingMessageHandlers();
    if (bitmap.IsEmpty()) {
        Log(std::string(operation) + ": no page");
        return false;
    }
    Pix* pix = bitmap.Get();
    const int depth = pixGetDepth(pix);
    if ((depth == 8 || depth == 32) && pixGetColormap(pix) == nullptr) {
        return true;
    }
    const std::int64_t grayBytes = std::int64_t{bitmap.Width()} * bitmap.Height();
    if (grayBytes > kMaxWorkingBytes) {
        Log(std::string(operation) + ": page too large to convert, left unchanged");
        return false;
    }
    Pix* converted = nullptr;
    if (pixGetColormap(pix) != nullptr) {
        converted = pixRemoveColormap(pix, REMOVE_CMAP_BASED_ON_SRC);
    } else if (depth < 8) {
        converted = pixConvertTo8(pix, 0);
    } else {
        converted = pixConvertTo32(pix);
    }
    return TakeResult(bitmap, converted, operation);
}

bool TakeResult(TBitmap& bitmap, Pix* result, std::string_view operation) {
    if (result == nullptr) {
        Log(std::string(operation) + ": failed, page left unchanged");
        return false;
    }
    const int xResolution = bitmap.XResolution();
    const int yResolution = bitmap.YResolution();
    if (pixGetDepth(result) == 32) {
        pixSetSpp(result, 3);
    }
    bitmap = TBitmap(result);
    bitmap.SetResolution(xResolution, yResolution);
    return true;
}

void ApplyLookupTable(TBitmap& bitmap, const TLookupTable& table) {
    Pix* pix = bitmap.Get();
    const int width = pixGetWidth(pix);
    const int height = pixGetHeight(pix);
    const int wpl = pixGetWpl(pix);
    l_uint32* data = pixGetData(pix);
    const bool gray = pixGetDepth(pix) == 8;
    for (int y = 0; y < height; ++y) {
        l_uint32* line = data + static_cast<std::size_t>(y) * wpl;
        if (gray) {
            for (int x = 0; x < width; ++x) {
                SET_DATA_BYTE(line, x, table[GET_DATA_BYTE(line, x)]);
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const l_uint32 word = line[x];
                line[x] = (l_uint32{table[word >> 24]} << 24) | (l_uint32{table[(word >> 16) & 0xFF]} << 16) |
                          (l_uint32{table[(word >> 8) & 0xFF]} << 8) | (word & 0xFF);
            }
        }
    }
}

std::uint8_t ClampByte(double value) {
    return static_cast<std::uint8_t>(value <= 0 ? 0 : (value >= 255 ? 255 : std::lround(value)));
}

}  // namespace paxid::processing
