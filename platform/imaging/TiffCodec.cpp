#include "platform/imaging/TiffCodec.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/LibraryMessages.h"

#include <leptonica/allheaders.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace paxid {

namespace {

// libtiff refuses any single allocation above this, whatever a header says.
constexpr tmsize_t kMaxTiffAllocation = 256 * 1024 * 1024;
// Rows per strip of JPEG pages: a multiple of 16 as the JPEG codec wants.
constexpr std::uint32_t kJpegRowsPerStrip = 64;

// A TIFF held in memory, read through libtiff's client procedures. Owned by
// the handle and freed by its close procedure.
struct TMemoryCursor {
    std::span<const std::uint8_t> Data;
    toff_t Position = 0;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* cursor = static_cast<TMemoryCursor*>(handle);
    if (size <= 0 || cursor->Position >= cursor->Data.size()) {
        return 0;
    }
    const auto count = std::min<toff_t>(static_cast<toff_t>(size), cursor->Data.size() - cursor->Position);
    std::memcpy(buffer, cursor->Data.data() + cursor->Position, count);
    cursor->Position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    auto* cursor = static_cast<TMemoryCursor*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) {
        base = cursor->Position;
    } else if (whence == SEEK_END) {
        base = cursor->Data.size();
    }
    cursor->Position = base + offset;
    return cursor->Position;
}

int MemoryClose(thandle_t handle) {
    std::unique_ptr<TMemoryCursor> owner(static_cast<TMemoryCursor*>(handle));
    return 0;
}

toff_t MemorySize(thandle_t handle) { return static_cast<TMemoryCursor*>(handle)->Data.size(); }

int MemoryMap(thandle_t handle, void** base, toff_t* size) {
    auto* cursor = static_cast<TMemoryCursor*>(handle);
    *base = const_cast<std::uint8_t*>(cursor->Data.data());
    *size = cursor->Data.size();
    return 1;
}

void MemoryUnmap(thandle_t, void*, toff_t) {}

struct TOptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> MakeOptions() {
    std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
    }
    return options;
}

// Reading pages in order steps to the next directory instead of walking the
// chain from the start again.
bool SelectPage(TIFF* handle, int pageNo) {
    const int index = pageNo <= 0 ? 0 : pageNo - 1;
    const auto current = static_cast<int>(TIFFCurrentDirectory(handle));
    if (current == index) {
        return true;
    }
    if (current + 1 == index && TIFFReadDirectory(handle) == 1) {
        return true;
    }
    return TIFFSetDirectory(handle, static_cast<tdir_t>(index)) == 1;
}

int ResolutionToDpi(float value, std::uint16_t unit) {
    if (!(value > 0.0F) || !std::isfinite(value)) {
        return 0;
    }
    double dpi = value;
    if (unit == RESUNIT_CENTIMETER) {
        dpi = value * 2.54;
    } else if (unit == RESUNIT_NONE) {
        return 0;
    }
    return dpi > 100000.0 ? 0 : static_cast<int>(std::lround(dpi));
}

int FormatOfCompression(std::uint16_t compression) {
    switch (compression) {
    case COMPRESSION_CCITTFAX4:
        return kFormatTiffG4;
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
        return kFormatTiffG3;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return kFormatTiffJpeg;
    case COMPRESSION_LZW:
        return kFormatTiffLzw;
    default:
        return kFormatTiff;
    }
}

struct TPageHeader {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint16_t BitsPerSample = 1;
    std::uint16_t SamplesPerPixel = 1;
    std::uint16_t Compression = COMPRESSION_NONE;
    std::uint16_t Photometric = PHOTOMETRIC_MINISWHITE;
    std::uint16_t PlanarConfig = PLANARCONFIG_CONTIG;
    int XResolution = 0;
    int YResolution = 0;

    bool IsBitonal() const { return BitsPerSample == 1 && SamplesPerPixel == 1; }
    bool IsGray() const {
        return BitsPerSample == 8 && SamplesPerPixel == 1 &&
               (Photometric == PHOTOMETRIC_MINISBLACK || Photometric == PHOTOMETRIC_MINISWHITE);
    }
    // Gray of 2, 4, 12 or 16 bits: decoded through RGBA, handed out as 8 bits.
    bool IsOtherGray() const {
        return BitsPerSample > 1 && BitsPerSample != 8 && SamplesPerPixel == 1 &&
               (Photometric == PHOTOMETRIC_MINISBLACK || Photometric == PHOTOMETRIC_MINISWHITE);
    }
    int LoadedBitsPerPixel() const { return IsBitonal() ? 1 : ((IsGray() || IsOtherGray()) ? 8 : 24); }
};

TPageHeader ReadHeader(TIFF* handle) {
    TPageHeader header;
    TIFFGetField(handle, TIFFTAG_IMAGEWIDTH, &header.Width);
    TIFFGetField(handle, TIFFTAG_IMAGELENGTH, &header.Height);
    TIFFGetFieldDefaulted(handle, TIFFTAG_BITSPERSAMPLE, &header.BitsPerSample);
    TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLESPERPIXEL, &header.SamplesPerPixel);
    TIFFGetFieldDefaulted(handle, TIFFTAG_COMPRESSION, &header.Compression);
    if (TIFFGetField(handle, TIFFTAG_PHOTOMETRIC, &header.Photometric) != 1) {
        header.Photometric = header.SamplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    }
    TIFFGetFieldDefaulted(handle, TIFFTAG_PLANARCONFIG, &header.PlanarConfig);
    float xResolution = 0.0F;
    float yResolution = 0.0F;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(handle, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(handle, TIFFTAG_XRESOLUTION, &xResolution) == 1) {
        header.XResolution = ResolutionToDpi(xResolution, unit);
    }
    if (TIFFGetField(handle, TIFFTAG_YRESOLUTION, &yResolution) == 1) {
        header.YResolution = ResolutionToDpi(yResolution, unit);
    }
    return header;
}

void FillInfo(TIFF* handle, const TPageHeader& header, TImageFileInfo& info) {
    info.Format = FormatOfCompression(header.Compression);
    info.Width = static_cast<int>(header.Width);
    info.Height = static_cast<int>(header.Height);
    info.BitsPerPixel = header.LoadedBitsPerPixel();
    info.XResolution = header.XResolution;
    info.YResolution = header.YResolution;
    info.TotalPages = TiffPageCount(handle);
}

// Reads a stripped 1- or 8-bit page straight into the PIX raster: libtiff's
// rows are bytes in file order, Leptonica's are 32-bit words, so the words
// are swapped once at the end.
TBitmap ReadStrippedSamples(TIFF* handle, const TPageHeader& header, int depth) {
    TBitmap bitmap(pixCreate(static_cast<int>(header.Width), static_cast<int>(header.Height), depth));
    if (bitmap.IsEmpty()) {
        return {};
    }
    Pix* pix = bitmap.Get();
    const tmsize_t scanline = TIFFScanlineSize(handle);
    const auto rowBytes = static_cast<tmsize_t>(pixGetWpl(pix)) * 4;
    if (scanline <= 0 || scanline > rowBytes) {
        return {};
    }
    std::uint32_t rowsPerStrip = header.Height;
    TIFFGetFieldDefaulted(handle, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, header.Height);
    const tmsize_t stripSize = TIFFStripSize(handle);
    if (stripSize <= 0) {
        return {};
    }
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(stripSize));
    auto* raster = reinterpret_cast<std::uint8_t*>(pixGetData(pix));
    const std::uint32_t strips = TIFFNumberOfStrips(handle);
    for (std::uint32_t index = 0; index < strips; ++index) {
        const std::uint32_t firstRow = index * rowsPerStrip;
        if (firstRow >= header.Height) {
            break;
        }
        const std::uint32_t rows = std::min(rowsPerStrip, header.Height - firstRow);
        const tmsize_t got = TIFFReadEncodedStrip(handle, index, strip.data(), static_cast<tmsize_t>(rows) * scanline);
        if (got < 0) {
            return {};
        }
        for (std::uint32_t row = 0; row < rows; ++row) {
            std::memcpy(raster + static_cast<std::size_t>(firstRow + row) * static_cast<std::size_t>(rowBytes),
                        strip.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(scanline),
                        static_cast<std::size_t>(scanline));
        }
    }
    pixEndianByteSwap(pix);
    const bool blackIsZero = depth == 1 ? header.Photometric == PHOTOMETRIC_MINISBLACK
                                        : header.Photometric == PHOTOMETRIC_MINISWHITE;
    if (blackIsZero) {
        pixInvert(pix, pix);
    }
    pixSetPadBits(pix, 0);
    return bitmap;
}

TBitmap ReadThroughRgba(TIFF* handle, const TPageHeader& header) {
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(header.Width) * header.Height);
    if (TIFFReadRGBAImageOriented(handle, header.Width, header.Height, raster.data(), ORIENTATION_TOPLEFT, 0) != 1) {
        return {};
    }
    TBitmap bitmap(pixCreate(static_cast<int>(header.Width), static_cast<int>(header.Height), 32));
    if (bitmap.IsEmpty()) {
        return {};
    }
    pixSetSpp(bitmap.Get(), 3);
    l_uint32* data = pixGetData(bitmap.Get());
    const int wordsPerLine = pixGetWpl(bitmap.Get());
    for (std::uint32_t y = 0; y < header.Height; ++y) {
        l_uint32* line = data + static_cast<std::size_t>(y) * static_cast<std::size_t>(wordsPerLine);
        const std::uint32_t* source = raster.data() + static_cast<std::size_t>(y) * header.Width;
        for (std::uint32_t x = 0; x < header.Width; ++x) {
            const std::uint32_t abgr = source[x];
            const std::uint32_t alpha = TIFFGetA(abgr);
            // Transparent parts show white, as on paper.
            const auto blend = [alpha](std::uint32_t channel) { return (channel * alpha + 255 * (255 - alpha)) / 255; };
            line[x] = (blend(TIFFGetR(abgr)) << 24) | (blend(TIFFGetG(abgr)) << 16) | (blend(TIFFGetB(abgr)) << 8);
        }
    }
    return bitmap;
}

void SetResolutionTags(TIFF* handle, const TBitmap& bitmap) {
    if (bitmap.XResolution() > 0 && bitmap.YResolution() > 0) {
        TIFFSetField(handle, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(handle, TIFFTAG_XRESOLUTION, static_cast<float>(bitmap.XResolution()));
        TIFFSetField(handle, TIFFTAG_YRESOLUTION, static_cast<float>(bitmap.YResolution()));
    }
}

bool WriteG4(TIFF* handle, const TBitmap& bitmap) {
    Pix* swapped = pixEndianByteSwapNew(bitmap.Get());
    if (swapped == nullptr) {
        return false;
    }
    TBitmap owner(swapped);
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    TIFFSetField(handle, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(handle, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(handle, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(handle, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(handle, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(handle, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(handle, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(handle, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    // One strip, so the compressed page can later be carried into a PDF as it stands.
    TIFFSetField(handle, TIFFTAG_ROWSPERSTRIP, height);
    SetResolutionTags(handle, bitmap);
    const std::size_t rowBytes = (width + 7) / 8;
    const std::size_t stride = static_cast<std::size_t>(pixGetWpl(swapped)) * 4;
    const auto* raster = reinterpret_cast<const std::uint8_t*>(pixGetData(swapped));
    std::vector<std::uint8_t> rows(rowBytes * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(rows.data() + y * rowBytes, raster + y * stride, rowBytes);
    }
    if (TIFFWriteEncodedStrip(handle, 0, rows.data(), static_cast<tmsize_t>(rows.size())) < 0) {
        return false;
    }
    return TIFFWriteDirectory(handle) == 1;
}

bool WriteJpeg(TIFF* handle, const TBitmap& bitmap, int quality) {
    const bool gray = bitmap.BitsPerPixel() == 8;
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    TIFFSetField(handle, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(handle, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(handle, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(handle, TIFFTAG_SAMPLESPERPIXEL, gray ? 1 : 3);
    TIFFSetField(handle, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(handle, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(handle, TIFFTAG_JPEGQUALITY, std::clamp(quality, 1, 100));
    if (gray) {
        TIFFSetField(handle, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    } else {
        TIFFSetField(handle, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(handle, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    TIFFSetField(handle, TIFFTAG_ROWSPERSTRIP, kJpegRowsPerStrip);
    SetResolutionTags(handle, bitmap);
    const std::size_t samples = gray ? 1 : 3;
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(width) * samples * kJpegRowsPerStrip);
    const l_uint32* data = pixGetData(bitmap.Get());
    const int wordsPerLine = pixGetWpl(bitmap.Get());
    for (std::uint32_t firstRow = 0, index = 0; firstRow < height; firstRow += kJpegRowsPerStrip, ++index) {
        const std::uint32_t rows = std::min(kJpegRowsPerStrip, height - firstRow);
        std::uint8_t* out = strip.data();
        for (std::uint32_t row = firstRow; row < firstRow + rows; ++row) {
            const l_uint32* line = data + static_cast<std::size_t>(row) * static_cast<std::size_t>(wordsPerLine);
            for (std::uint32_t x = 0; x < width; ++x) {
                if (gray) {
                    *out++ = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
                } else {
                    *out++ = static_cast<std::uint8_t>(line[x] >> 24);
                    *out++ = static_cast<std::uint8_t>(line[x] >> 16);
                    *out++ = static_cast<std::uint8_t>(line[x] >> 8);
                }
            }
        }
        const auto bytes = static_cast<tmsize_t>(static_cast<std::size_t>(rows) * width * samples);
        if (TIFFWriteEncodedStrip(handle, index, strip.data(), bytes) < 0) {
            return false;
        }
    }
    return TIFFWriteDirectory(handle) == 1;
}

bool RawCopyable(std::uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return true;
    default:
        return false;
    }
}

template <typename T>
void CopyField(TIFF* source, TIFF* destination, ttag_t tag) {
    T value{};
    if (TIFFGetField(source, tag, &value) == 1) {
        TIFFSetField(destination, tag, value);
    }
}

}  // namespace

void TTiffCloser::operator()(tiff* handle) const { TIFFClose(handle); }

TTiffHandle OpenTiffFile(const std::string& fileName, const char* mode) {
    InstallImagingMessageHandlers();
    auto options = MakeOptions();
    // Reading goes through read() rather than a mapping of the whole file:
    // a page is a small part of a large file, and mappings cost more to undo.
    const std::string effectiveMode = std::string(mode) == "r" ? "rm" : mode;
    return TTiffHandle(TIFFOpenExt(fileName.c_str(), effectiveMode.c_str(), options.get()));
}

TTiffHandle OpenTiffMemory(std::span<const std::uint8_t> data) {
    InstallImagingMessageHandlers();
    auto options = MakeOptions();
    auto cursor = std::make_unique<TMemoryCursor>();
    cursor->Data = data;
    TMemoryCursor* clientData = cursor.get();
    TIFF* handle = TIFFClientOpenExt("memory", "r", clientData, &MemoryRead, &MemoryWrite, &MemorySeek, &MemoryClose,
                                     &MemorySize, &MemoryMap, &MemoryUnmap, options.get());
    if (handle != nullptr) {
        cursor.release();  // now owned by the handle: MemoryClose frees it
    }
    return TTiffHandle(handle);
}

bool TiffSelectPage(tiff* handle, int pageNo) { return handle != nullptr && SelectPage(handle, pageNo); }

int TiffPageCount(tiff* handle) {
    const tdir_t count = TIFFNumberOfDirectories(handle);
    if (count == 0 || count > static_cast<tdir_t>(kMaxPageCount)) {
        return -1;
    }
    return static_cast<int>(count);
}

int TiffPageInfo(tiff* handle, int pageNo, TImageFileInfo& info) {
    if (handle == nullptr || !SelectPage(handle, pageNo)) {
        return kImagingFailure;
    }
    const TPageHeader header = ReadHeader(handle);
    FillInfo(handle, header, info);
    if (info.TotalPages < 1 || header.Width == 0 || header.Height == 0) {
        return kImagingFailure;
    }
    return kImagingSuccess;
}

int TiffLoadPage(tiff* handle, int pageNo, TBitmap& bitmap, TImageFileInfo* info) {
    if (handle == nullptr || !SelectPage(handle, pageNo)) {
        return kImagingFailure;
    }
    const TPageHeader header = ReadHeader(handle);
    const int depth = header.LoadedBitsPerPixel();
    if (header.Width == 0 || header.Height == 0 || !ImageSizeAcceptable(header.Width, header.Height, depth == 24 ? 32 : depth)) {
        PlatformLog("TiffCodec", "page refused: size " + std::to_string(header.Width) + " x " +
                                     std::to_string(header.Height) + " beyond the limits");
        return kImagingFailure;
    }
    TBitmap decoded;
    const bool stripped = TIFFIsTiled(handle) == 0 && header.PlanarConfig == PLANARCONFIG_CONTIG;
    if (stripped && (header.IsBitonal() || header.IsGray())) {
        decoded = ReadStrippedSamples(handle, header, depth);
    } else {
        decoded = ReadThroughRgba(handle, header);
        if (!decoded.IsEmpty() && depth == 1) {
            decoded = TBitmap(pixConvertTo1(decoded.Get(), 128));
        } else if (!decoded.IsEmpty() && depth == 8) {
            decoded = TBitmap(pixConvertRGBToLuminance(decoded.Get()));
        }
    }
    if (decoded.IsEmpty()) {
        return kImagingFailure;
    }
    decoded.SetResolution(header.XResolution, header.YResolution);
    if (info != nullptr) {
        FillInfo(handle, header, *info);
    }
    bitmap = std::move(decoded);
    return kImagingSuccess;
}

bool TiffWritePage(tiff* handle, const TBitmap& bitmap, bool groupFour, int jpegQuality) {
    if (handle == nullptr || bitmap.IsEmpty()) {
        return false;
    }
    if (groupFour) {
        return bitmap.BitsPerPixel() == 1 && WriteG4(handle, bitmap);
    }
    const int depth = bitmap.BitsPerPixel();
    if ((depth != 8 && depth != 24) || pixGetColormap(bitmap.Get()) != nullptr) {
        return false;
    }
    return WriteJpeg(handle, bitmap, jpegQuality);
}

bool TiffCopyPageRaw(tiff* source, tiff* destination) {
    const TPageHeader header = ReadHeader(source);
    if (!RawCopyable(header.Compression) || TIFFIsTiled(source) != 0) {
        return false;
    }
    TIFFSetField(destination, TIFFTAG_COMPRESSION, header.Compression);
    TIFFSetField(destination, TIFFTAG_IMAGEWIDTH, header.Width);
    TIFFSetField(destination, TIFFTAG_IMAGELENGTH, header.Height);
    TIFFSetField(destination, TIFFTAG_BITSPERSAMPLE, header.BitsPerSample);
    TIFFSetField(destination, TIFFTAG_SAMPLESPERPIXEL, header.SamplesPerPixel);
    TIFFSetField(destination, TIFFTAG_PHOTOMETRIC, header.Photometric);
    TIFFSetField(destination, TIFFTAG_PLANARCONFIG, header.PlanarConfig);
    CopyField<std::uint16_t>(source, destination, TIFFTAG_FILLORDER);
    CopyField<std::uint16_t>(source, destination, TIFFTAG_ORIENTATION);
    CopyField<std::uint16_t>(source, destination, TIFFTAG_RESOLUTIONUNIT);
    CopyField<float>(source, destination, TIFFTAG_XRESOLUTION);
    CopyField<float>(source, destination, TIFFTAG_YRESOLUTION);
    CopyField<std::uint32_t>(source, destination, TIFFTAG_ROWSPERSTRIP);
    CopyField<std::uint16_t>(source, destination, TIFFTAG_SAMPLEFORMAT);
    if (header.Compression == COMPRESSION_CCITTFAX3) {
        CopyField<std::uint32_t>(source, destination, TIFFTAG_GROUP3OPTIONS);
    } else if (header.Compression == COMPRESSION_CCITTFAX4) {
        CopyField<std::uint32_t>(source, destination, TIFFTAG_GROUP4OPTIONS);
    } else if (header.Compression == COMPRESSION_LZW || header.Compression == COMPRESSION_ADOBE_DEFLATE ||
               header.Compression == COMPRESSION_DEFLATE) {
        CopyField<std::uint16_t>(source, destination, TIFFTAG_PREDICTOR);
    }
    if (header.Photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t* red = nullptr;
        std::uint16_t* green = nullptr;
        std::uint16_t* blue = nullptr;
        if (TIFFGetField(source, TIFFTAG_COLORMAP, &red, &green, &blue) == 1) {
            TIFFSetField(destination, TIFFTAG_COLORMAP, red, green, blue);
        }
    }
    std::uint16_t extraCount = 0;
    std::uint16_t* extraSamples = nullptr;
    if (TIFFGetField(source, TIFFTAG_EXTRASAMPLES, &extraCount, &extraSamples) == 1) {
        TIFFSetField(destination, TIFFTAG_EXTRASAMPLES, extraCount, extraSamples);
    }
    std::vector<std::uint8_t> buffer;
    const std::uint32_t strips = TIFFNumberOfStrips(source);
    for (std::uint32_t index = 0; index < strips; ++index) {
        const std::uint64_t size = TIFFGetStrileByteCount(source, index);
        if (size == 0 || size > static_cast<std::uint64_t>(kMaxTiffAllocation)) {
            return false;
        }
        buffer.resize(static_cast<std::size_t>(size));
        const tmsize_t got = TIFFReadRawStrip(source, index, buffer.data(), static_cast<tmsize_t>(size));
        if (got < 0 || TIFFWriteRawStrip(destination, index, buffer.data(), got) < 0) {
            return false;
        }
    }
    return TIFFWriteDirectory(destination) == 1;
}

bool TiffReadRawG4(tiff* handle, int pageNo, TRawG4Page& page) {
    if (handle == nullptr || !SelectPage(handle, pageNo)) {
        return false;
    }
    const TPageHeader header = ReadHeader(handle);
    std::uint16_t fillOrder = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(handle, TIFFTAG_FILLORDER, &fillOrder);
    if (header.Compression != COMPRESSION_CCITTFAX4 || !header.IsBitonal() || TIFFIsTiled(handle) != 0 ||
        TIFFNumberOfStrips(handle) != 1 || fillOrder != FILLORDER_MSB2LSB || header.Width == 0 ||
        header.Height == 0 || !ImageSizeAcceptable(header.Width, header.Height, 1)) {
        return false;
    }
    const std::uint64_t size = TIFFGetStrileByteCount(handle, 0);
    if (size == 0 || size > static_cast<std::uint64_t>(kMaxTiffAllocation)) {
        return false;
    }
    page.Data.resize(static_cast<std::size_t>(size));
    const tmsize_t got = TIFFReadRawStrip(handle, 0, page.Data.data(), static_cast<tmsize_t>(size));
    if (got <= 0) {
        return false;
    }
    page.Data.resize(static_cast<std::size_t>(got));
    page.Width = static_cast<int>(header.Width);
    page.Height = static_cast<int>(header.Height);
    page.XResolution = header.XResolution;
    page.YResolution = header.YResolution;
    page.MinIsBlack = header.Photometric == PHOTOMETRIC_MINISBLACK;
    return true;
}

}  // namespace paxid
