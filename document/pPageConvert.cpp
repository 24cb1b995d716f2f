#include "document/pPageConvert.h"

#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/imaging/BitmapOperations.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace paxid {

namespace {

void Log(const std::string& message) { WriteLog(nullptr, message); }

// The session the caller gave, or one of this call's own that completes the
// file when the call returns.
class TSessionChoice {
public:
    explicit TSessionChoice(TSaveSession* given) : FSession(given) {
        if (FSession == nullptr) {
            FOwn = std::make_unique<TSaveSession>();
            FSession = FOwn.get();
        }
    }
    TSaveSession& operator*() const { return *FSession; }

private:
    std::unique_ptr<TSaveSession> FOwn;
    TSaveSession* FSession;
};

// Group 4 pages written as group 4 keep their compressed data; every other
// page is loaded and encoded.
void AppendPage(const std::string& sourceFile, int pageNo, const std::string& destFile, int bitonalFormat,
                int otherFormat, int otherBitsPerPixel, int quality, TSaveSession* given) {
    if (!FileExists(sourceFile)) {
        return;
    }
    TSessionChoice session(given);
    if (bitonalFormat == kFormatTiffG4 || bitonalFormat == kFormatPdfG4) {
        if ((*session).SaveCompressedG4(destFile, sourceFile, pageNo, bitonalFormat, kSaveAppend) ==
            kImagingSuccess) {
            return;
        }
    }
    TBitmap page;
    LoadPage(sourceFile, pageNo, page);
    if (page.IsEmpty()) {
        return;
    }
    const bool bitonal = page.BitsPerPixel() == 1;
    const int format = bitonal ? bitonalFormat : otherFormat;
    const int bitsPerPixel = bitonal ? 1 : (otherBitsPerPixel > 0 ? otherBitsPerPixel : page.BitsPerPixel());
    (*session).Save(destFile, page, format, bitsPerPixel, bitonal ? 0 : quality, kSaveAppend);
}

// Moves source onto target; across file systems through a copy beside target.
bool ReplaceFile(const std::string& source, const std::string& target) {
    std::error_code error;
    std::filesystem::rename(source, target, error);
    if (!error) {
        return true;
    }
    const std::string beside = target + ".paxidnew";
    std::filesystem::copy_file(source, beside, std::filesystem::copy_options::overwrite_existing, error);
    if (!error) {
        std::filesystem::rename(beside, target, error);
    }
    std::error_code ignored;
    std::filesystem::remove(error ? beside : source, ignored);
    if (error) {
        std::filesystem::remove(source, ignored);
    }
    return !error;
}

}  // namespace

void ReplaceTiffPage(const std::string& fileName, int pageNo, const std::string& pageFile) {
    Log("ReplaceTiffPage BEGIN");
    TImageFileInfo info;
    if (FileInfo(fileName, pageNo, info) != kImagingSuccess || info.Format != kFormatTiffG4) {
        Log("ReplaceTiffPage END not a group 4 TIFF");
        return;
    }
    const int pages = info.TotalPages;
    if (pages < 1) {
        Log("ReplaceTiffPage END no pages");
        return;
    }
    const std::string temporary = MakeTempFileName("");
    bool ok = true;
    {
        TSaveSession session;
        for (int page = 1; page <= pages && ok; ++page) {
            const bool replaced = page == pageNo && FileExists(pageFile);
            const std::string& source = replaced ? pageFile : fileName;
            const int sourcePage = replaced ? 1 : page;
            const int flags = page == 1 ? 0 : kSaveAppend;
            if (session.SaveCompressedG4(temporary, source, sourcePage, kFormatTiffG4, flags) == kImagingSuccess) {
                continue;
            }
            // Not stored in a way that can be copied: decode it and encode it again.
            TBitmap bitmap;
            TImageFileInfo pageInfo;
            ok = LoadPage(source, sourcePage, bitmap, &pageInfo) == kImagingSuccess &&
                 pageInfo.Format == kFormatTiffG4 &&
                 session.Save(temporary, bitmap, kFormatTiffG4, bitmap.BitsPerPixel(), 0, flags) == kImagingSuccess;
        }
        ok = session.Commit() == kImagingSuccess && ok;
    }
    std::error_code ignored;
    const auto permissions = std::filesystem::status(fileName, ignored).permissions();
    std::filesystem::permissions(temporary, permissions, ignored);
    if (ok && ReplaceFile(temporary, fileName)) {
        Log("ReplaceTiffPage END");
        return;
    }
    std::remove(temporary.c_str());
    Log("ReplaceTiffPage END failed, file unchanged");
}

void ConvertToTiff(const std::string& sourceFile, int pageNo, const std::string& destFile, int quality,
                   TSaveSession* session) {
    Log("ConvertToTiff BEGIN");
    AppendPage(sourceFile, pageNo, destFile, kFormatTiffG4, kFormatTiffJpeg, 0, quality, session);
    Log("ConvertToTiff END");
}

void ConvertToPdf(const std::string& sourceFile, int pageNo, const std::string& destFile, int quality,
                  TSaveSession* session) {
    Log("ConvertToPdf BEGIN");
    AppendPage(sourceFile, pageNo, destFile, kFormatPdfG4, kFormatPdfJpeg, 0, quality, session);
    Log("ConvertToPdf END");
}

void ConvertPage(const std::string& sourceFile, int pageNo, const std::string& destFile, int format, int quality,
                 TSaveSession* session) {
    Log("ConvertPage BEGIN");
    if (FileExists(sourceFile)) {
        TSessionChoice choice(session);
        bool done = false;
        if (format == kFormatTiffG4 || format == kFormatPdfG4) {
            done = (*choice).SaveCompressedG4(destFile, sourceFile, pageNo, format, kSaveAppend) == kImagingSuccess;
        }
        TBitmap page;
        if (!done && LoadPage(sourceFile, pageNo, page) == kImagingSuccess) {
            const bool jpeg = format == kFormatJpeg;
            (*choice).Save(destFile, page, format, jpeg ? 24 : page.BitsPerPixel(), jpeg ? quality : 0, kSaveAppend);
        }
    }
    Log("ConvertPage END");
}

bool CreateBlankImageFile(int bitsPerPixel, std::string& fileName, int jpegQuality) {
    fileName = MakeTempFileName(".tif");
    TBitmap blank = TBitmap::Create(32, 32, bitsPerPixel);
    if (blank.IsEmpty()) {
        return false;
    }
    FillBitmap(blank, TColor{255, 255, 255});
    const bool bitonal = bitsPerPixel == 1;
    return SaveBitmap(fileName, blank, bitonal ? kFormatTiffG4 : kFormatTiffJpeg, bitsPerPixel,
                      bitonal ? 0 : jpegQuality, 0) == kImagingSuccess;
}

bool ExtractImagePage(const std::string& source, std::int32_t pageNo, const std::string& target) {
    const std::string ext = ExtractFileExt(source);
    if (SameContentType(ext, ".tif") || SameContentType(ext, ".tiff")) {
        ConvertToTiff(source, pageNo, target, 0);
    } else {
        std::error_code error;
        std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
    }
    return FileExists(target);
}

}  // namespace paxid
