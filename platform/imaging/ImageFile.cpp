#include "platform/imaging/ImageFile.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/JbigCodec.h"
#include "platform/imaging/LibraryMessages.h"
#include "platform/imaging/PdfRaster.h"
#include "platform/imaging/RasterCodecs.h"
#include "platform/imaging/TiffCodec.h"

#include <leptonica/allheaders.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace paxid {

namespace {

// Files of the single-page formats and PDF are read whole; larger ones are refused.
constexpr std::int64_t kMaxWholeFileBytes = std::int64_t{1} << 30;
constexpr std::size_t kSignatureBytes = 1024;

bool StartsWith(std::span<const std::uint8_t> data, std::string_view prefix) {
    return data.size() >= prefix.size() && std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

enum class TReadExtent { Head, Whole };

// Reads the first kSignatureBytes of fileName, or all of it up to
// kMaxWholeFileBytes; false when it cannot be opened or is too large to read whole.
bool ReadFileBytes(const std::string& fileName, TReadExtent extent, std::vector<std::uint8_t>& bytes) {
    const std::int64_t limit =
        extent == TReadExtent::Head ? static_cast<std::int64_t>(kSignatureBytes) : kMaxWholeFileBytes;
    const int descriptor = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (ok) {
        const std::int64_t size = status.st_size;
        const std::int64_t wanted = std::min(size, limit);
        ok = size <= limit || extent == TReadExtent::Head;
        if (ok) {
            bytes.resize(static_cast<std::size_t>(wanted));
            std::size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t got = ::read(descriptor, bytes.data() + done, bytes.size() - done);
                if (got <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(got);
            }
            bytes.resize(done);
        }
    }
    ::close(descriptor);
    return ok;
}

std::int64_t SizeOfFile(const std::string& fileName) {
    struct stat status {};
    return ::stat(fileName.c_str(), &status) == 0 ? static_cast<std::int64_t>(status.st_size) : 0;
}

bool IsTiffSignature(std::span<const std::uint8_t> head) {
    return StartsWith(head, std::string_view("II*\0", 4)) || StartsWith(head, std::string_view("MM\0*", 4)) ||
           StartsWith(head, std::string_view("II+\0", 4)) || StartsWith(head, std::string_view("MM\0+", 4));
}

bool IsPdfSignature(std::span<const std::uint8_t> head) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()), std::min(head.size(), kSignatureBytes));
    return text.find("%PDF-") != std::string_view::npos;
}

// Leptonica formats: header first, so that an absurd size is refused before decoding.
int RasterFileInfo(std::span<const std::uint8_t> data, int format, int pageNo, TImageFileInfo& info) {
    if (pageNo > 1) {
        return kImagingFailure;
    }
    if (format == kFormatJpeg) {
        return JpegHeaderInfo(data, info) ? kImagingSuccess : kImagingFailure;
    }
    if (format == kFormatPng) {
        return PngHeaderInfo(data, info) ? kImagingSuccess : kImagingFailure;
    }
    if (format == kFormatBmp && IsBmp32(data)) {
        return Bmp32HeaderInfo(data, info) ? kImagingSuccess : kImagingFailure;
    }
    l_int32 leptonicaFormat = 0;
    l_int32 width = 0;
    l_int32 height = 0;
    l_int32 bitsPerSample = 0;
    l_int32 samplesPerPixel = 0;
    l_int32 colormapped = 0;
    if (pixReadHeaderMem(data.data(), data.size(), &leptonicaFormat, &width, &height, &bitsPerSample,
                         &samplesPerPixel, &colormapped) != 0 ||
        width <= 0 || height <= 0) {
        return kImagingFailure;
    }
    info.Format = format;
    info.TotalPages = 1;
    info.Width = width;
    info.Height = height;
    info.BitsPerPixel = (bitsPerSample == 1 && samplesPerPixel == 1 && colormapped == 0) ? 1
                        : (samplesPerPixel == 1 && colormapped == 0)                     ? 8
                                                                                         : 24;
    info.XResolution = 0;
    info.YResolution = 0;
    return kImagingSuccess;
}

int RasterLoadPage(std::span<const std::uint8_t> data, int format, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    TImageFileInfo header;
    if (RasterFileInfo(data, format, pageNo, header) != kImagingSuccess ||
        !ImageSizeAcceptable(header.Width, header.Height, 32)) {
        PlatformLog("ImageFile", "page refused: no readable header or size beyond the limits");
        return kImagingFailure;
    }
    TBitmap decoded;
    if (format == kFormatJpeg) {
        JpegDecode(data, decoded);
    } else if (format == kFormatPng) {
        PngDecode(data, decoded);
    } else if (format == kFormatBmp && IsBmp32(data)) {
        Bmp32Decode(data, decoded);
    } else {
        decoded = NormalizeDecodedPix(pixReadMem(data.data(), data.size()));
    }
    if (decoded.IsEmpty()) {
        return kImagingFailure;
    }
    if (info != nullptr) {
        *info = header;
        info->Width = decoded.Width();
        info->Height = decoded.Height();
        info->BitsPerPixel = decoded.BitsPerPixel();
        info->XResolution = decoded.XResolution();
        info->YResolution = decoded.YResolution();
    }
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

int MemoryInfo(std::span<const std::uint8_t> data, int pageNo, TImageFileInfo& info) {
    const int format = DetectImageFormat(data);
    switch (format) {
    case 0:
        return kImagingFailure;
    case kFormatTiff: {
        TTiffHandle handle = OpenTiffMemory(data);
        return TiffPageInfo(handle.get(), pageNo, info);
    }
    case kFormatPdf:
        return PdfFileInfo(data, pageNo, info);
    case kFormatJbig:
        return (pageNo <= 1 && JbigHeaderInfo(data, info)) ? kImagingSuccess : kImagingFailure;
    default:
        return RasterFileInfo(data, format, pageNo, info);
    }
}

int MemoryLoad(std::span<const std::uint8_t> data, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    const int format = DetectImageFormat(data);
    switch (format) {
    case 0:
        return kImagingFailure;
    case kFormatTiff: {
        TTiffHandle handle = OpenTiffMemory(data);
        return TiffLoadPage(handle.get(), pageNo, bitmap, info);
    }
    case kFormatPdf:
        return PdfLoadPage(data, pageNo, bitmap, info);
    case kFormatJbig: {
        if (pageNo > 1) {
            return kImagingFailure;
        }
        const int result = JbigDecode(data, bitmap);
        if (result == kImagingSuccess && info != nullptr) {
            JbigHeaderInfo(data, *info);
            info->Width = bitmap.Width();
            info->Height = bitmap.Height();
        }
        return result;
    }
    default:
        return RasterLoadPage(data, format, pageNo, bitmap, info);
    }
}

}  // namespace

bool ImageSizeAcceptable(std::int64_t width, std::int64_t height, int bitsPerPixel) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        return false;
    }
    const std::int64_t rowBytes = (width * std::max(bitsPerPixel, 1) + 31) / 32 * 4;
    return rowBytes * height <= kMaxImageBytes;
}

int DetectImageFormat(std::span<const std::uint8_t> head) {
    if (IsTiffSignature(head)) {
        return kFormatTiff;
    }
    if (StartsWith(head, "\xFF\xD8\xFF")) {
        return kFormatJpeg;
    }
    if (StartsWith(head, "\x89PNG\r\n\x1A\n")) {
        return kFormatPng;
    }
    if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) {
        return kFormatGif;
    }
    if (StartsWith(head, "BM")) {
        return kFormatBmp;
    }
    if (head.size() >= 12 && StartsWith(head, "RIFF") && std::memcmp(head.data() + 8, "WEBP", 4) == 0) {
        return kFormatWebP;
    }
    if (IsPdfSignature(head)) {
        return kFormatPdf;
    }
    TImageFileInfo jbig;
    if (JbigHeaderInfo(head, jbig)) {
        return kFormatJbig;
    }
    return 0;
}

namespace {

// The boundary of each entry point: what escapes a decoder (an allocation
// that failed) is logged and becomes a failed call.
template <typename TWork>
int Guarded(const char* operation, TWork&& work) noexcept {
    try {
        return work();
    } catch (const std::exception& error) {
        PlatformLog("ImageFile", std::string(operation) + " EXCEPTION " + error.what());
    } catch (...) {
        PlatformLog("ImageFile", std::string(operation) + " EXCEPTION");
    }
    return kImagingFailure;
}

int FileInfoOfFile(const std::string& fileName, int pageNo, TImageFileInfo& info) {
    info = TImageFileInfo{};
    std::vector<std::uint8_t> head;
    if (!ReadFileBytes(fileName, TReadExtent::Head, head)) {
        return kImagingFailure;
    }
    int result = kImagingFailure;
    if (IsTiffSignature(head)) {
        // TIFF pages are walked through the file itself, never read whole.
        TTiffHandle handle = OpenTiffFile(fileName, "r");
        result = TiffPageInfo(handle.get(), pageNo, info);
    } else {
        std::vector<std::uint8_t> data;
        if (ReadFileBytes(fileName, TReadExtent::Whole, data)) {
            result = MemoryInfo(data, pageNo, info);
        }
    }
    info.SizeDisk = SizeOfFile(fileName);
    return result;
}

int LoadPageOfFile(const std::string& fileName, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    std::vector<std::uint8_t> head;
    if (!ReadFileBytes(fileName, TReadExtent::Head, head)) {
        return kImagingFailure;
    }
    int result = kImagingFailure;
    if (IsTiffSignature(head)) {
        TTiffHandle handle = OpenTiffFile(fileName, "r");
        result = TiffLoadPage(handle.get(), pageNo, bitmap, info);
    } else {
        std::vector<std::uint8_t> data;
        if (ReadFileBytes(fileName, TReadExtent::Whole, data)) {
            result = MemoryLoad(data, pageNo, bitmap, info);
        }
    }
    if (result == kImagingSuccess && info != nullptr) {
        info->SizeDisk = SizeOfFile(fileName);
    }
    return result;
}

}  // namespace

int FileInfo(const std::string& fileName, int pageNo, TImageFileInfo& info) {
    InstallImagingMessageHandlers();
    return Guarded("FileInfo", [&] { return FileInfoOfFile(fileName, pageNo, info); });
}

int LoadPage(const std::string& fileName, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    InstallImagingMessageHandlers();
    return Guarded("LoadPage", [&] { return LoadPageOfFile(fileName, pageNo, bitmap, info); });
}

int FileInfoMemory(std::span<const std::uint8_t> data, int pageNo, TImageFileInfo& info) {
    InstallImagingMessageHandlers();
    info = TImageFileInfo{};
    return Guarded("FileInfoMemory", [&] {
        const int result = MemoryInfo(data, pageNo, info);
        info.SizeDisk = static_cast<std::int64_t>(data.size());
        return result;
    });
}

int LoadPageMemory(std::span<const std::uint8_t> data, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    InstallImagingMessageHandlers();
    return Guarded("LoadPageMemory", [&] {
        const int result = MemoryLoad(data, pageNo, bitmap, info);
        if (result == kImagingSuccess && info != nullptr) {
            info->SizeDisk = static_cast<std::int64_t>(data.size());
        }
        return result;
    });
}

}  // namespace paxid
