#include "retrieval/pImageStream.h"

#include "foundation/pLog.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/TiffCodec.h"

#include <tiffio.h>

#include <algorithm>

namespace paxid {

namespace {

constexpr std::string_view kClassName = "TImageStream";
// Row notification flags of the decoder.
constexpr int kFirstPass = 1;
constexpr int kLastPass = 2;
constexpr int kFirstRow = 4;
constexpr int kLastRow = 8;
// Bytes a signature needs before the format is decided.
constexpr std::size_t kSignatureBytes = 16;

// The bytes page `page` of a TIFF needs: its directory must be readable and
// all its strips or tiles present. 0 when the directory is not there yet.
std::size_t TiffPageEnd(tiff* handle) {
    std::uint64_t end = 0;
    const std::uint32_t count = TIFFIsTiled(handle) != 0 ? TIFFNumberOfTiles(handle) : TIFFNumberOfStrips(handle);
    for (std::uint32_t index = 0; index < count; ++index) {
        int error = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(handle, index, &error);
        const std::uint64_t size = TIFFGetStrileByteCountWithErr(handle, index, &error);
        if (error != 0) {
            return 0;
        }
        end = std::max(end, offset + size);
    }
    return static_cast<std::size_t>(end);
}

}  // namespace

int TImageStream::Initialize() {
    WriteLog(kClassName, "Initialize BEGIN");
    FData.clear();
    FInitialized = true;
    FFinished = false;
    FFormat = 0;
    FNextPage = 1;
    FNeededBytes = 0;
    const int result = kImagingSuccess;
    WriteLog(kClassName, "Initialize END Result=" + std::to_string(result));
    return result;
}

int TImageStream::FeedData(const std::uint8_t* buffer, std::size_t length) {
    WriteLog(kClassName, "FeedData BEGIN");
    int result = kImagingFailure;
    try {
        if (FInitialized && !FFinished) {
            FData.insert(FData.end(), buffer, buffer + length);
            DeliverCompletePages(false);
            result = kImagingSuccess;
        }
    } catch (const std::exception& error) {
        WriteLog(kClassName, std::string("FeedData EXCEPTION ") + error.what());
    }
    WriteLog(kClassName, "FeedData END Result=" + std::to_string(result));
    return result;
}

int TImageStream::Finalize() {
    WriteLog(kClassName, "Finalize BEGIN");
    int result = kImagingFailure;
    try {
        if (FInitialized && !FFinished) {
            DeliverCompletePages(true);
            result = PagesDelivered() > 0 ? kImagingSuccess : kImagingFailure;
        }
    } catch (const std::exception& error) {
        WriteLog(kClassName, std::string("Finalize EXCEPTION ") + error.what());
    }
    FFinished = true;
    FData.clear();
    FData.shrink_to_fit();
    WriteLog(kClassName, "Finalize END Result=" + std::to_string(result));
    return result;
}

void TImageStream::DeliverCompletePages(bool endOfData) {
    if (FFormat == 0) {
        if (FData.size() < kSignatureBytes && !endOfData) {
            return;
        }
        FFormat = DetectImageFormat(FData);
        if (FFormat == 0) {
            if (FData.size() >= 1024 || endOfData) {
                FFormat = -1;  // not an image: nothing will be delivered
            }
            return;
        }
    }
    if (FFormat < 0 || (!endOfData && FData.size() < FNeededBytes)) {
        return;
    }
    if (FFormat == kFormatTiff) {
        DeliverTiffPages(endOfData);
        return;
    }
    // The other formats hold one page, decoded when the file is complete.
    if (!endOfData || FNextPage != 1) {
        return;
    }
    TBitmap bitmap;
    TImageFileInfo info;
    if (LoadPageMemory(FData, 1, bitmap, &info) == kImagingSuccess) {
        DeliverPage(bitmap, info);
    }
}

bool TImageStream::DeliverTiffPages(bool endOfData) {
    TTiffHandle handle = OpenTiffMemory(FData);
    if (!handle) {
        return false;
    }
    for (;;) {
        if (TIFFSetDirectory(handle.get(), static_cast<tdir_t>(FNextPage - 1)) != 1) {
            // The directory has not arrived yet; wait for a good part more
            // data, which bounds the re-reading of a file fed in small chunks.
            FNeededBytes = FData.size() + std::max<std::size_t>(64 * 1024, FData.size() / 8);
            return false;
        }
        const std::size_t end = TiffPageEnd(handle.get());
        if (end == 0 || end > FData.size()) {
            FNeededBytes = end == 0 ? FData.size() + 1 : end;
            if (!endOfData) {
                return false;
            }
        }
        TBitmap bitmap;
        TImageFileInfo info;
        if (TiffLoadPage(handle.get(), FNextPage, bitmap, &info) != kImagingSuccess) {
            // A page that cannot be decoded ends the delivery of this file.
            FFormat = -1;
            return false;
        }
        info.SizeDisk = static_cast<std::int64_t>(FData.size());
        DeliverPage(bitmap, info);
        if (endOfData && FNextPage > info.TotalPages) {
            return true;
        }
    }
}

void TImageStream::DeliverPage(TBitmap& bitmap, const TImageFileInfo& info) {
    OnLoadCB(info, nullptr, kFirstRow | kFirstPass);
    OnLoadCB(info, &bitmap, kLastRow | kLastPass);
    ++FNextPage;
}

int TImageStream::OnLoadCB(const TImageFileInfo& info, TBitmap* bitmap, int flags) {
    try {
        if ((flags & kFirstRow) != 0 && (flags & kFirstPass) != 0 && OnFirstRow) {
            OnFirstRow("FIRSTROW", info);
            WriteLog(kClassName, "TImageStream Callback OnLoadCB Status=FIRSTROW");
        }
        if ((flags & kLastRow) != 0 && (flags & kLastPass) != 0 && OnLastRow && bitmap != nullptr) {
            OnLastRow("LASTROW", info, *bitmap);
            *bitmap = TBitmap();
            WriteLog(kClassName, "TImageStream Callback OnLoadCB Status=LASTROW");
        }
    } catch (const std::exception& error) {
        WriteLog(kClassName, std::string("OnLoadCB EXCEPTION ") + error.what());
    }
    return kImagingSuccess;
}

}  // namespace paxid
