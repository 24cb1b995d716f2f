#include "retrieval/pImageStream.h"

#include "foundation/pLog.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/TiffCodec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <span>

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
// A header that cannot be read yet is tried again after this many more bytes.
constexpr std::size_t kHeaderRetryStep = 4096;

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

// Where the chain of directories of a classic TIFF stands for directory
// `index` (0-based), read from the bytes that have arrived.
struct TDirectoryState {
    enum class TKind { Present, NeedsBytes, ChainEnded, Unknown };
    TKind Kind = TKind::Unknown;
    std::size_t Bytes = 0;  // NeedsBytes: the size the data must reach
};

// Bytes of one value of a TIFF field type.
std::uint32_t TypeSize(std::uint32_t type) {
    switch (type) {
    case 3:   // SHORT
    case 8:   // SSHORT
        return 2;
    case 4:   // LONG
    case 9:   // SLONG
    case 11:  // FLOAT
    case 13:  // IFD
        return 4;
    case 5:   // RATIONAL
    case 10:  // SRATIONAL
    case 12:  // DOUBLE
    case 16:  // LONG8
    case 17:  // SLONG8
    case 18:  // IFD8
        return 8;
    default:  // BYTE, ASCII, SBYTE, UNDEFINED
        return 1;
    }
}

TDirectoryState LocateDirectory(std::span<const std::uint8_t> data, int index) {
    using TKind = TDirectoryState::TKind;
    if (data.size() < 8 || (data[0] != 'I' && data[0] != 'M') || data[2] + data[3] != 42) {
        return {TKind::Unknown, 0};  // BigTIFF and odd files are left to libtiff
    }
    const bool little = data[0] == 'I';
    const auto read16 = [&](std::size_t at) {
        return little ? static_cast<std::uint32_t>(data[at] | (data[at + 1] << 8))
                      : static_cast<std::uint32_t>((data[at] << 8) | data[at + 1]);
    };
    const auto read32 = [&](std::size_t at) {
        return little ? (read16(at) | (read16(at + 2) << 16)) : ((read16(at) << 16) | read16(at + 2));
    };
    std::uint64_t offset = read32(4);
    for (int directory = 0; directory <= index; ++directory) {
        if (offset == 0) {
            return {TKind::ChainEnded, 0};
        }
        if (offset + 2 > data.size()) {
            return {TKind::NeedsBytes, static_cast<std::size_t>(offset + 2)};
        }
        const std::uint32_t entries = read16(static_cast<std::size_t>(offset));
        const std::uint64_t end = offset + 2 + 12 * std::uint64_t{entries} + 4;
        if (end > data.size()) {
            return {TKind::NeedsBytes, static_cast<std::size_t>(end)};
        }
        if (directory == index) {
            // Values longer than four bytes (strip tables, JPEG tables) lie
            // outside the directory and must have arrived as well.
            std::uint64_t valuesEnd = end;
            for (std::uint32_t entry = 0; entry < entries; ++entry) {
                const auto at = static_cast<std::size_t>(offset + 2 + 12 * std::uint64_t{entry});
                const std::uint64_t bytes = std::uint64_t{TypeSize(read16(at + 2))} * read32(at + 4);
                if (bytes > 4) {
                    valuesEnd = std::max(valuesEnd, std::uint64_t{read32(at + 8)} + bytes);
                }
            }
            if (valuesEnd > data.size()) {
                return {TKind::NeedsBytes, static_cast<std::size_t>(std::min<std::uint64_t>(valuesEnd, SIZE_MAX))};
            }
            return {TKind::Present, 0};
        }
        const std::uint64_t next = read32(static_cast<std::size_t>(end - 4));
        if (next != 0 && next <= offset) {
            return {TKind::Unknown, 0};  // a chain that runs backwards: libtiff decides
        }
        offset = next;
    }
    return {TKind::Unknown, 0};
}

std::uint32_t LittleEndian32(std::span<const std::uint8_t> data, std::size_t at) {
    return std::uint32_t{data[at]} | (std::uint32_t{data[at + 1]} << 8) | (std::uint32_t{data[at + 2]} << 16) |
           (std::uint32_t{data[at + 3]} << 24);
}

// Size of a colour table whose flags byte is flags (0 when it has none).
std::size_t GifColourTable(std::uint8_t flags) {
    return (flags & 0x80) != 0 ? 3 * (std::size_t{2} << (flags & 7)) : 0;
}

}  // namespace

std::size_t TImageStream::CompleteFileSize() {
    const std::span<const std::uint8_t> data(FData);
    switch (FFormat) {
    case kFormatBmp: {
        // The file header states the file size; writers that leave it 0 are
        // decoded when the feed ends.
        const std::size_t stated = data.size() >= 6 ? LittleEndian32(data, 2) : 0;
        return stated >= 54 ? stated : 0;
    }
    case kFormatWebP:
        // RIFF: the chunk size after the first eight bytes, padded to even.
        return data.size() >= 8 ? (std::size_t{LittleEndian32(data, 4)} + 9) / 2 * 2 : 0;
    case kFormatGif:
        return ScanGif();
    default:
        return 0;
    }
}

// Walks the GIF blocks that have arrived, from where the last walk stopped, up
// to the trailer; the total size once it is found, 0 before (or when the walk
// meets something that is not GIF, which leaves decoding to the end).
std::size_t TImageStream::ScanGif() {
    const std::span<const std::uint8_t> data(FData);
    if (FGifScan.Position == 0) {
        if (data.size() < 13) {
            return 0;
        }
        FGifScan.Position = 13 + GifColourTable(data[10]);
    }
    while (!FGifScan.Broken && FGifScan.Position < data.size()) {
        std::size_t& at = FGifScan.Position;
        if (FGifScan.InSubBlocks) {
            const std::uint8_t length = data[at];
            at += 1 + length;
            FGifScan.InSubBlocks = length != 0;
            continue;
        }
        switch (data[at]) {
        case 0x3B:  // trailer
            return at + 1;
        case 0x21:  // extension: introducer, label, sub-blocks
            if (at + 2 > data.size()) {
                return 0;
            }
            at += 2;
            FGifScan.InSubBlocks = true;
            break;
        case 0x2C:  // image: descriptor, local colour table, code size, sub-blocks
            if (at + 10 > data.size()) {
                return 0;
            }
            at += 10 + GifColourTable(data[at + 9]) + 1;
            FGifScan.InSubBlocks = true;
            break;
        default:
            FGifScan.Broken = true;
        }
    }
    return 0;
}

int TImageStream::Initialize() {
    WriteLog(kClassName, "Initialize BEGIN");
    FData.clear();
    FInitialized = true;
    FFinished = false;
    FFormat = 0;
    FNextPage = 1;
    FNeededBytes = 0;
    FFirstRowSent = false;
    FHeaderRetryAt = 0;
    FDecoder.reset();
    FDecoderFailed = false;
    FDecodedBytes = 0;
    FGifScan = TGifScan{};
    FEarlyDecodeFailed = false;
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
    if (FNextPage != 1) {
        return;
    }
    if (FeedIncrementalDecoder()) {
        return;
    }
    // The other formats hold one page, decoded when the file is complete; its
    // first row is announced as soon as the header can be read.
    if (!FFirstRowSent && FData.size() >= FHeaderRetryAt) {
        TImageFileInfo header;
        if (FileInfoMemory(FData, 1, header) == kImagingSuccess) {
            OnLoadCB(header, nullptr, kFirstRow | kFirstPass);
            FFirstRowSent = true;
        } else {
            FHeaderRetryAt = FData.size() + kHeaderRetryStep;
        }
    }
    // A file whose header tells its size is decoded as soon as it is complete.
    const std::size_t completeSize = endOfData ? FData.size() : (FEarlyDecodeFailed ? 0 : CompleteFileSize());
    if (completeSize == 0 || completeSize > FData.size()) {
        return;
    }
    TBitmap bitmap;
    TImageFileInfo info;
    const std::span<const std::uint8_t> file = std::span<const std::uint8_t>(FData).first(completeSize);
    if (LoadPageMemory(file, 1, bitmap, &info) == kImagingSuccess) {
        DeliverPage(bitmap, info);
        // A PDF, read when the feed ends, delivers its further pages in order.
        while (FNextPage <= info.TotalPages && LoadPageMemory(file, FNextPage, bitmap, &info) == kImagingSuccess) {
            DeliverPage(bitmap, info);
        }
    } else if (!endOfData) {
        // Perhaps the stated size was wrong: the whole data is tried once at the end.
        FEarlyDecodeFailed = true;
        return;
    }
    FNeededBytes = SIZE_MAX;
}

bool TImageStream::FeedIncrementalDecoder() {
    if (!FDecoder && !FDecoderFailed) {
        FDecoder = TIncrementalDecoder::Create(FFormat);
        FDecodedBytes = 0;
        if (!FDecoder) {
            FDecoderFailed = true;  // no incremental decoder for this format
        }
    }
    if (!FDecoder) {
        return false;
    }
    if (FDecodedBytes < FData.size()) {
        const bool ok = FDecoder->Feed(std::span<const std::uint8_t>(FData).subspan(FDecodedBytes));
        FDecodedBytes = FData.size();
        if (!ok) {
            // Broken for the incremental decoder: the whole file is tried once at its end.
            FDecoder.reset();
            FDecoderFailed = true;
            return false;
        }
    }
    if (!FFirstRowSent && FDecoder->HeaderKnown()) {
        OnLoadCB(FDecoder->Info(), nullptr, kFirstRow | kFirstPass);
        FFirstRowSent = true;
    }
    if (FDecoder->Complete()) {
        TImageFileInfo info = FDecoder->Info();
        info.SizeDisk = static_cast<std::int64_t>(FData.size());
        TBitmap bitmap = FDecoder->TakeBitmap();
        FDecoder.reset();
        if (!bitmap.IsEmpty()) {
            DeliverPage(bitmap, info);
        }
    }
    return true;
}

bool TImageStream::DeliverTiffPages(bool endOfData) {
    TTiffHandle handle;
    for (;;) {
        // Directories are located in the bytes first, so that libtiff only
        // reads directories that have arrived whole.
        const TDirectoryState state = LocateDirectory(FData, FNextPage - 1);
        if (state.Kind == TDirectoryState::TKind::ChainEnded) {
            FNeededBytes = SIZE_MAX;
            return true;
        }
        if (state.Kind == TDirectoryState::TKind::NeedsBytes && !endOfData) {
            FNeededBytes = state.Bytes;
            return false;
        }
        if (!handle) {
            handle = OpenTiffMemory(FData);
            if (!handle) {
                return false;
            }
        }
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
        // The page count is asked for only once the whole chain has arrived;
        // until then the file information reads 0 pages.
        TBitmap bitmap;
        TImageFileInfo info;
        const bool chainKnown = endOfData || LocateDirectory(FData, FNextPage).Kind ==
                                                 TDirectoryState::TKind::ChainEnded;
        if (TiffLoadPage(handle.get(), FNextPage, bitmap, chainKnown ? &info : nullptr) != kImagingSuccess) {
            // A page that cannot be decoded ends the delivery of this file.
            FFormat = -1;
            return false;
        }
        if (!chainKnown) {
            info.Format = kFormatTiff;
            info.Width = bitmap.Width();
            info.Height = bitmap.Height();
            info.BitsPerPixel = bitmap.BitsPerPixel();
            info.XResolution = bitmap.XResolution();
            info.YResolution = bitmap.YResolution();
        }
        info.SizeDisk = static_cast<std::int64_t>(FData.size());
        DeliverPage(bitmap, info);
        if (endOfData && FNextPage > info.TotalPages) {
            return true;
        }
    }
}

void TImageStream::DeliverPage(TBitmap& bitmap, const TImageFileInfo& info) {
    if (!FFirstRowSent) {
        OnLoadCB(info, nullptr, kFirstRow | kFirstPass);
    }
    OnLoadCB(info, &bitmap, kLastRow | kLastPass);
    FFirstRowSent = false;
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
