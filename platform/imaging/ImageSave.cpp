#include "platform/imaging/ImageSave.h"

#include "platform/diagnostics/PlatformLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/JbigCodec.h"
#include "platform/imaging/LibraryMessages.h"
#include "platform/imaging/PdfWriter.h"
#include "platform/imaging/TiffCodec.h"

#include <leptonica/allheaders.h>
#include <tiffio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace paxid {

namespace {

// A page without resolution is laid out at this many dots per inch in a PDF.
constexpr int kDefaultPdfDpi = 300;
constexpr double kPointsPerInch = 72.0;

bool FileExistsHere(const std::string& fileName) {
    struct stat status {};
    return ::stat(fileName.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool WriteBytes(const std::string& fileName, const std::uint8_t* data, std::size_t size) {
    const int descriptor = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::write(descriptor, data + done, size - done);
        if (wrote <= 0) {
            break;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return ::close(descriptor) == 0 && done == size;
}

// Leptonica allocates encoded bytes with its own allocator.
struct TLeptonicaBytes {
    l_uint8* Data = nullptr;
    std::size_t Size = 0;
    ~TLeptonicaBytes() { lept_free(Data); }
};

bool IsTiffFormat(int format) { return format == kFormatTiffG4 || format == kFormatTiffJpeg; }
bool IsPdfFormat(int format) { return format == kFormatPdfG4 || format == kFormatPdfJpeg; }

// The depth a format stores: group 4 and JBIG are bitonal, JPEG is gray or colour.
int StoredBitsPerPixel(int format, int bitsPerPixel) {
    switch (format) {
    case kFormatTiffG4:
    case kFormatPdfG4:
    case kFormatJbig:
        return 1;
    case kFormatJpeg:
    case kFormatTiffJpeg:
    case kFormatPdfJpeg:
        return bitsPerPixel == 8 || bitsPerPixel == 1 ? 8 : 24;
    default:
        return bitsPerPixel == 1 || bitsPerPixel == 8 ? bitsPerPixel : 24;
    }
}

bool PrepareBitmap(const TBitmap& bitmap, int format, int bitsPerPixel, TBitmap& prepared) {
    prepared = bitmap;
    const int requested = bitsPerPixel <= 0 ? bitmap.BitsPerPixel() : bitsPerPixel;
    return ConvertColorResolution(prepared, StoredBitsPerPixel(format, requested));
}

double PointsOf(int pixels, int resolution) {
    return pixels * kPointsPerInch / (resolution > 0 ? resolution : kDefaultPdfDpi);
}

bool AddPdfPage(TPdfWriter& writer, TPdfImage&& image, int xResolution, int yResolution) {
    const double width = PointsOf(image.Width, xResolution);
    const double height = PointsOf(image.Height, yResolution);
    return writer.AddPage(width, height) && writer.DrawImage(std::move(image), 0, 0, width, height);
}

bool SaveSinglePage(const std::string& fileName, const TBitmap& bitmap, int format, int quality) {
    if (format == kFormatJbig) {
        std::vector<std::uint8_t> encoded;
        return JbigEncode(bitmap, encoded) && WriteBytes(fileName, encoded.data(), encoded.size());
    }
    TLeptonicaBytes encoded;
    const int status = format == kFormatBmp ? pixWriteMemBmp(&encoded.Data, &encoded.Size, bitmap.Get())
                                            : pixWriteMemJpeg(&encoded.Data, &encoded.Size, bitmap.Get(), quality, 0);
    return status == 0 && WriteBytes(fileName, encoded.Data, encoded.Size);
}

// Rebuilds fileName with page pageNo replaced by bitmap; the other pages are
// copied as they are stored. The file is replaced only when all pages were written.
bool ReplaceTiffPageOf(const std::string& fileName, int pageNo, const TBitmap& bitmap, bool groupFour, int quality) {
    TTiffHandle source = OpenTiffFile(fileName, "r");
    if (!source) {
        return false;
    }
    const int count = TiffPageCount(source.get());
    if (count < 1 || pageNo < 1 || pageNo > count) {
        return false;
    }
    std::string temporary = fileName + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        return false;
    }
    struct stat original {};
    if (::stat(fileName.c_str(), &original) == 0) {
        ::fchmod(descriptor, original.st_mode & 07777);
    }
    ::close(descriptor);
    bool ok = true;
    {
        TTiffHandle destination = OpenTiffFile(temporary, "w");
        ok = destination != nullptr;
        for (int page = 1; ok && page <= count; ++page) {
            if (page == pageNo) {
                ok = TiffWritePage(destination.get(), bitmap, groupFour, quality);
                continue;
            }
            ok = TIFFSetDirectory(source.get(), static_cast<tdir_t>(page - 1)) == 1 &&
                 TiffCopyPageRaw(source.get(), destination.get());
            if (!ok) {
                // A page stored in a way that cannot be copied is written again.
                TBitmap other;
                ok = TiffLoadPage(source.get(), page, other, nullptr) == kImagingSuccess &&
                     TiffWritePage(destination.get(), other, other.BitsPerPixel() == 1, quality);
            }
        }
    }
    if (ok && ::rename(temporary.c_str(), fileName.c_str()) == 0) {
        return true;
    }
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

int JpegQualityFromFactor(int qualityFactor) {
    const int factor = std::clamp(qualityFactor, 2, 255);
    return static_cast<int>(std::lround(100.0 - (factor - 2) * 99.0 / 253.0));
}

// The file a session keeps open: a TIFF being appended to or a PDF being built.
struct TSaveSession::TTarget {
    std::string FileName;
    TTiffHandle Tiff;
    TPdfWriter Pdf;

    bool Complete() {
        bool ok = true;
        if (Tiff) {
            // Closing writes libtiff's pending directory data.
            Tiff.reset();
        }
        if (Pdf.IsOpen()) {
            ok = Pdf.Commit();
        }
        return ok;
    }
};

// A source file as it was when opened; a changed file is opened again.
struct TSaveSession::TSource {
    std::string FileName;
    std::int64_t Size = -1;
    std::int64_t ModifiedNanoseconds = -1;
    TTiffHandle Tiff;
};

namespace {

bool SameFileState(const std::string& fileName, std::int64_t size, std::int64_t modified) {
    struct stat status {};
    return ::stat(fileName.c_str(), &status) == 0 && status.st_size == size &&
           static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec == modified;
}

}  // namespace

tiff* TSaveSession::SourceTiff(const std::string& sourceFile) {
    if (FSource && FSource->FileName == sourceFile &&
        SameFileState(sourceFile, FSource->Size, FSource->ModifiedNanoseconds) &&
        !(FTarget && FTarget->FileName == sourceFile)) {
        return FSource->Tiff.get();
    }
    FSource.reset();
    struct stat status {};
    if (::stat(sourceFile.c_str(), &status) != 0) {
        return nullptr;
    }
    auto source = std::make_unique<TSource>();
    source->FileName = sourceFile;
    source->Size = status.st_size;
    source->ModifiedNanoseconds = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    source->Tiff = OpenTiffFile(sourceFile, "r");
    if (!source->Tiff) {
        return nullptr;
    }
    FSource = std::move(source);
    return FSource->Tiff.get();
}

TSaveSession::TSaveSession() = default;

TSaveSession::~TSaveSession() {
    if (Commit() != kImagingSuccess) {
        PlatformLog("TSaveSession", "the last file of the session could not be written");
    }
}

int TSaveSession::Commit() {
    if (!FTarget) {
        return kImagingSuccess;
    }
    std::unique_ptr<TTarget> target = std::move(FTarget);
    return target->Complete() ? kImagingSuccess : kImagingFailure;
}

int TSaveSession::Save(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel,
                       int qualityFactor, int flags, int pageNo) {
    try {
        return SaveUnguarded(fileName, bitmap, format, bitsPerPixel, qualityFactor, flags, pageNo);
    } catch (const std::exception& error) {
        PlatformLog("TSaveSession", std::string("Save EXCEPTION ") + error.what());
        return kImagingFailure;
    }
}

int TSaveSession::SaveUnguarded(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel,
                                int qualityFactor, int flags, int pageNo) {
    InstallImagingMessageHandlers();
    TBitmap prepared;
    if (bitmap.IsEmpty() || !PrepareBitmap(bitmap, format, bitsPerPixel, prepared)) {
        return kImagingFailure;
    }
    const int jpegQuality = JpegQualityFromFactor(qualityFactor);
    const bool append = (flags & kSaveAppend) != 0;
    const bool sameTarget = FTarget && FTarget->FileName == fileName && append;
    if (!sameTarget && Commit() != kImagingSuccess) {
        PlatformLog("TSaveSession", "the previous file of the session could not be written");
    }

    if (IsTiffFormat(format)) {
        const bool groupFour = format == kFormatTiffG4;
        if ((flags & kSaveReplacePage) != 0 && FileExistsHere(fileName)) {
            return ReplaceTiffPageOf(fileName, pageNo, prepared, groupFour, jpegQuality) ? kImagingSuccess
                                                                                         : kImagingFailure;
        }
        if (!sameTarget || !FTarget->Tiff) {
            FTarget = std::make_unique<TTarget>();
            FTarget->FileName = fileName;
            FTarget->Tiff = OpenTiffFile(fileName, append && FileExistsHere(fileName) ? "a" : "w");
            if (!FTarget->Tiff) {
                FTarget.reset();
                return kImagingFailure;
            }
        }
        return TiffWritePage(FTarget->Tiff.get(), prepared, groupFour, jpegQuality) ? kImagingSuccess
                                                                                    : kImagingFailure;
    }
    if (IsPdfFormat(format)) {
        if (!sameTarget || !FTarget->Pdf.IsOpen()) {
            FTarget = std::make_unique<TTarget>();
            FTarget->FileName = fileName;
            if (!FTarget->Pdf.Open(fileName, append)) {
                FTarget.reset();
                return kImagingFailure;
            }
        }
        TPdfImage image;
        return EncodePdfImage(prepared, jpegQuality, image) &&
                       AddPdfPage(FTarget->Pdf, std::move(image), prepared.XResolution(), prepared.YResolution())
                   ? kImagingSuccess
                   : kImagingFailure;
    }
    if (format == kFormatBmp || format == kFormatJpeg || format == kFormatJbig) {
        return SaveSinglePage(fileName, prepared, format, jpegQuality) ? kImagingSuccess : kImagingFailure;
    }
    return kImagingFailure;
}

int TSaveSession::SaveCompressedG4(const std::string& fileName, const std::string& sourceFile, int sourcePage,
                                   int format, int flags) {
    try {
        return SaveCompressedG4Unguarded(fileName, sourceFile, sourcePage, format, flags);
    } catch (const std::exception& error) {
        PlatformLog("TSaveSession", std::string("SaveCompressedG4 EXCEPTION ") + error.what());
        return kImagingFailure;
    }
}

int TSaveSession::SaveCompressedG4Unguarded(const std::string& fileName, const std::string& sourceFile,
                                            int sourcePage, int format, int flags) {
    if (format != kFormatTiffG4 && format != kFormatPdfG4) {
        return kImagingFailure;
    }
    InstallImagingMessageHandlers();
    if (FTarget && FTarget->FileName == sourceFile) {
        return kImagingFailure;  // a file cannot be copied into itself
    }
    tiff* source = SourceTiff(sourceFile);
    if (source == nullptr) {
        return kImagingFailure;
    }
    const bool append = (flags & kSaveAppend) != 0;
    const bool sameTarget = FTarget && FTarget->FileName == fileName && append;
    if (format == kFormatPdfG4) {
        TRawG4Page page;
        if (!TiffReadRawG4(source, sourcePage, page)) {
            return kImagingFailure;
        }
        if (!sameTarget || !FTarget->Pdf.IsOpen()) {
            Commit();
            FTarget = std::make_unique<TTarget>();
            FTarget->FileName = fileName;
            if (!FTarget->Pdf.Open(fileName, append)) {
                FTarget.reset();
                return kImagingFailure;
            }
        }
        TPdfImage image;
        image.Kind = TPdfImage::TKind::GroupFour;
        image.Data = std::move(page.Data);
        image.Width = page.Width;
        image.Height = page.Height;
        image.MinIsBlack = page.MinIsBlack;
        return AddPdfPage(FTarget->Pdf, std::move(image), page.XResolution, page.YResolution) ? kImagingSuccess
                                                                                   : kImagingFailure;
    }
    std::uint16_t compression = 0;
    if (!TiffSelectPage(source, sourcePage) || TIFFGetFieldDefaulted(source, TIFFTAG_COMPRESSION, &compression) != 1 ||
        compression != COMPRESSION_CCITTFAX4) {
        return kImagingFailure;
    }
    if (!sameTarget || !FTarget->Tiff) {
        Commit();
        FTarget = std::make_unique<TTarget>();
        FTarget->FileName = fileName;
        FTarget->Tiff = OpenTiffFile(fileName, append && FileExistsHere(fileName) ? "a" : "w");
        if (!FTarget->Tiff) {
            FTarget.reset();
            return kImagingFailure;
        }
    }
    return TiffCopyPageRaw(source, FTarget->Tiff.get()) ? kImagingSuccess : kImagingFailure;
}

int SaveBitmap(const std::string& fileName, const TBitmap& bitmap, int format, int bitsPerPixel, int qualityFactor,
               int flags, int pageNo) {
    TSaveSession session;
    const int result = session.Save(fileName, bitmap, format, bitsPerPixel, qualityFactor, flags, pageNo);
    const int committed = session.Commit();
    return result == kImagingSuccess && committed == kImagingSuccess ? kImagingSuccess : kImagingFailure;
}

}  // namespace paxid
