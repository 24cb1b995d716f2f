// Saving the document and its pages: the save dialog's filter, the document
// in every format the viewer writes, and one page.
#include "app/pPaxidVW3.h"

#include "app/pViewerInterfaces.h"
#include "document/pCabinet.h"
#include "document/pPageConvert.h"
#include "document/pPageRoot.h"
#include "foundation/pContentTypes.h"
#include "foundation/pConversions.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "platform/random/RandomSource.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace paxid {

namespace {

void Log(const std::string& message) { WriteLog("TPaxidVW3", message); }

// A page of the document as saving needs it, taken from the content list.
struct TSavedPage {
    std::string LocalFileName;
    int PageNo = 0;
    TDLType DLType = dltUnknown;
};

std::vector<TSavedPage> PagesOf(TPageRoot& root) {
    std::vector<TSavedPage> pages;
    root.FContentList.LockList().ForEach([&pages](TPageListObj& page) {
        pages.push_back({page.LocalFileName(), page.PageNo, page.DLType});
    });
    return pages;
}

// Writes a document beside its destination and moves it into place only once
// it is complete, so a failure never leaves the destination broken. Pages are
// appended after those of an existing destination, which is copied first.
class TSideBySideSave {
public:
    explicit TSideBySideSave(const std::string& destination) : FDestination(destination) {
        const std::string folder = ExtractFilePath(destination);
        const std::string name = ExtractFileName(destination);
        FWork = folder + ".pxdsave" + std::to_string(TRandomSource::Below(1000000)) + "-" + name;
        std::error_code error;
        if (FileExists(destination)) {
            FHadOriginal = true;
            std::filesystem::copy_file(destination, FWork, std::filesystem::copy_options::overwrite_existing, error);
            FUsable = !error;
            if (error) {
                Log("SaveFileEx cannot copy " + destination + ": " + error.message());
            }
            TImageFileInfo info;
            if (FUsable && FileInfo(FWork, 0, info) == kImagingSuccess) {
                FOriginalPages = info.TotalPages;
            }
        }
    }
    ~TSideBySideSave() {
        std::error_code ignored;
        std::filesystem::remove(FWork, ignored);
    }
    TSideBySideSave(const TSideBySideSave&) = delete;
    TSideBySideSave& operator=(const TSideBySideSave&) = delete;

    bool Usable() const { return FUsable; }
    const std::string& Work() const { return FWork; }

    // Replaces the destination when the work file holds a readable document
    // with at least the pages the destination had.
    bool Complete(bool committed, bool multiPage) {
        if (!committed || !FileExists(FWork) || FileSizeOf(FWork) == 0) {
            Log("SaveFileEx nothing complete written; " + FDestination + " left as it was");
            return false;
        }
        if (multiPage && FHadOriginal) {
            TImageFileInfo info;
            if (FileInfo(FWork, 0, info) != kImagingSuccess || info.TotalPages < FOriginalPages) {
                Log("SaveFileEx result unreadable; " + FDestination + " left as it was");
                return false;
            }
        }
        std::error_code error;
        std::filesystem::permissions(FWork,
                                     FHadOriginal ? std::filesystem::status(FDestination, error).permissions()
                                                  : std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::owner_write |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read,
                                     error);
        std::filesystem::rename(FWork, FDestination, error);
        if (error) {
            Log("SaveFileEx cannot replace " + FDestination + ": " + error.message());
            return false;
        }
        return true;
    }

private:
    std::string FDestination;
    std::string FWork;
    bool FHadOriginal = false;
    bool FUsable = true;
    int FOriginalPages = 0;
};


}  // namespace

TSaveFilter TPaxidVW3::BuildSaveFilter() {
    TSaveFilter result;
    const int count = FPageRoot ? FPageRoot->ContentCount() : 0;
    const int images = FPageRoot ? FPageRoot->ImageContentCount() : 0;
    if (count > 0 && count == images) {
        result.Filter += "Tiff files|*.tif;*.tiff|";
        result.DefaultExt = "tif";
        if (images == 1) {
            result.Filter += "JBIG files|*.jbg;*.jbig|JPEG files|*.jpg;*.jpeg|BMP files|*.bmp|";
        }
    } else if (count > 0) {
        result.DefaultExt = "PaxidCab";
    }
    if (count > 0) {
        result.Filter += "PaxidCab|*.paxidcab|PDF files|*.pdf|";
    }
    result.Filter += "All files|*.*|";
    return result;
}

TSaveFilter TPaxidVW3::BuildPageSaveFilter() {
    TPageListObj* page = FPageRoot ? FPageRoot->CurrentContent() : nullptr;
    if (page == nullptr) {
        return {};
    }
    if (page->DLType == dltImage) {
        return {"Tiff Images|*.tif;*.tiff|All files|*.*", "tif"};
    }
    // The first entry lists only a file named exactly as the extension.
    const std::string ext = ExtractFileExt(page->LocalFileName());
    return {ext + "|" + ext + "|All files|*.*", ""};
}

std::string TPaxidVW3::GetSaveFileName(const std::string& filter) {
    if (FMainForm == nullptr || FMainForm->BusyCursor()) {
        return {};
    }
    if (FPageRoot) {
        FPageRoot->StopAllLevelsExpandThread();
    }
    std::string chosenFilter = filter;
    if (chosenFilter.empty()) {
        const TSaveFilter built = BuildSaveFilter();
        chosenFilter = built.Filter;
        if (!built.DefaultExt.empty()) {
            FSaveDefaultExt = built.DefaultExt;
        }
    }
    return FMainForm->ChooseSaveFileName(chosenFilter, FSaveDefaultExt, ExtractFilePath(FLastFileOpen));
}

void TPaxidVW3::SaveFileEx(const std::string& fileName, int fromPage, int toPage) {
    const std::string ext = LowerASCII(ExtractFileExt(fileName));
    Log("SaveFileEx AFilename=" + fileName);
    if (!FPageRoot) {
        return;
    }
    if (ext == ".paxidcab") {
        try {
            ZipList(fileName, CabinetPagesOf(*FPageRoot), 0, 0, &ExtractImagePage);
        } catch (const std::exception& error) {
            // ZipList never leaves a partial archive behind.
            Log(std::string("SaveFileEx ZipList failed: ") + error.what());
        }
        return;
    }
    const bool tiff = ext == ".tif" || ext == ".tiff";
    const bool pdf = ext == ".pdf";
    int format = 0;
    if (ext == ".jbg" || ext == ".jbig") {
        format = kFormatJbig;
    } else if (ext == ".jpg" || ext == ".jpeg") {
        format = kFormatJpeg;
    } else if (ext == ".bmp") {
        format = kFormatBmp;
    }
    if (!tiff && !pdf && format == 0) {
        ShowWarning("Not supported");
        return;
    }
    const std::vector<TSavedPage> pages = PagesOf(*FPageRoot);
    const int count = static_cast<int>(pages.size());
    int first = 1;
    int last = count;
    if (tiff) {
        first = std::max(fromPage, 1);
        if (toPage > 0 && toPage < count) {
            last = toPage;
        }
    }
    TSideBySideSave save(fileName);
    if (!save.Usable()) {
        ShowWarning("Not saved: " + fileName);
        return;
    }
    bool committed = true;
    {
        TSaveSession session;
        for (int index = first - 1; index < last; ++index) {
            const TSavedPage& page = pages[static_cast<std::size_t>(index)];
            if (pdf) {
                ConvertToPdf(page.LocalFileName, page.PageNo, save.Work(), FJpegQuality, &session);
            } else if (page.DLType != dltImage) {
                continue;
            } else if (tiff) {
                ConvertToTiff(page.LocalFileName, page.PageNo, save.Work(), FJpegQuality, &session);
            } else {
                ConvertPage(page.LocalFileName, page.PageNo, save.Work(), format,
                            format == kFormatJpeg ? FJpegQuality : 0, &session);
            }
        }
        committed = session.Commit() == kImagingSuccess;
    }
    save.Complete(committed, tiff || pdf);
}

void TPaxidVW3::SavePage(const std::string& fileName) {
    if (FMainForm != nullptr && FMainForm->ViewState().ImageViewCurrent) {
        FMainForm->SaveImageViewPageAs(ExtractFileExt(fileName).empty() ? fileName + ".tif" : fileName);
        return;
    }
    TPageListObj* page = FPageRoot ? FPageRoot->CurrentContent() : nullptr;
    if (page == nullptr) {
        return;
    }
    const std::string source = page->LocalFileName();
    const std::string target = ExtractFileExt(fileName).empty() ? fileName + ExtractFileExt(source) : fileName;
    TSideBySideSave save(target);
    std::error_code error;
    std::filesystem::copy_file(source, save.Work(), std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        Log("SavePage cannot copy " + source + ": " + error.message());
        return;
    }
    save.Complete(true, false);
}

void TPaxidVW3::ShowWarning(const std::string& text) { FMessages.ShowMessage("Paxid Viewer", text, TMessageIcon::Warning); }

}  // namespace paxid
