#include "document/pPageRoot.h"

#include "document/pCabinet.h"
#include "document/pCollectionList.h"
#include "document/pDataCrypt.h"
#include "document/pIdxFormats.h"
#include "document/pXMLTools.h"
#include "document/pPageRootThread.h"
#include "foundation/pContentTypes.h"
#include "foundation/pFileUtils.h"
#include "foundation/pLog.h"
#include "platform/imaging/Bitmap.h"
#include "platform/imaging/ImageFile.h"
#include "platform/imaging/ImageFormats.h"
#include "platform/imaging/ImageSave.h"
#include "platform/thread/MainThread.h"
#include "retrieval/pDL.h"
#include "retrieval/pThumbImage.h"

#include <dirent.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace paxid {

namespace {

constexpr int kMaxPasses = 100;
constexpr std::string_view kTempPrefix = "pxdtmp";

const char* BoolText(bool value) { return value ? "True" : "False"; }

// The format a page's own cache file is written in: the page's format when
// the imaging layer writes it, group 4 TIFF for a bitonal TIFF page; 0 (no
// cache file) when the page could only be stored under a misleading name.
int CacheFileFormat(const TImageFileInfo& info, const TBitmap& page) {
    switch (info.Format) {
        case kFormatBmp:
        case kFormatJpeg:
        case kFormatTiffJpeg:
        case kFormatTiffG4:
        case kFormatJbig:
            return info.Format;
        case kFormatTiff:
        case kFormatTiffLzw:
        case kFormatTiffG3:
            return page.BitsPerPixel() == 1 ? kFormatTiffG4 : 0;
        default:
            return 0;
    }
}

bool HasTempPrefix(std::string_view fileName) { return fileName.substr(0, kTempPrefix.size()) == kTempPrefix; }

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace

TPageRoot::TPageRoot(TMainThread& mainThread)
    : TPageListObj(nullptr), DataCryptKeys(DefaultDataCryptKeys()), FMainThread(mainThread), FDL(std::make_unique<TDL>()) {
    WriteLog(ClassName(), "Create");
    Root = this;
    MainThreadID = TPageRootThread::CurrentThreadId();
    FDL->SkipContainerThumbs = true;
    FDL->OnThumbnail = [this](const std::shared_ptr<const TBitmap>& thumbnail, int pageNumber,
                              const TImageFileInfo* fileInfo, const TBitmap* decodedImage) {
        return AddPage(thumbnail, pageNumber, fileInfo, decodedImage);
    };
    FDL->OnProgress = [this](const TProgressInfo& progress) { return DLProgress(progress); };
}

TPageRoot::~TPageRoot() {
    WriteLog(ClassName(), "TPageRoot.Destroy START");
    FDestroying = true;
    const bool cleared = Clear();
    WriteLog(ClassName(), std::string("Destroy Clear=") + BoolText(cleared));
    FPageRootThread.reset();  // a loader that could not be stopped is waited for here
    FSemaphore.Release();
    FDL.reset();
    // The nodes leave the lists as they are freed, so the lists must outlive them.
    FreeTree();
    FListsAlive = false;
    WriteLog(ClassName(), "TPageRoot.Destroy END");
}

// ---- the loader -----------------------------------------------------------

void TPageRoot::StartAllLevelsExpandThread() {
    WriteLog(ClassName(), "TPageRoot.StartAllLevelsExpandThread Start");
    if (FPageRootThread) {
        WriteLog(ClassName(), "  FPageRootThread = nil (no files will be loaded)!");
        return;
    }
    FPageRootThread = std::make_unique<TPageRootThread>(*this, FMainThread);
    FStop = false;
    FEventsOff = false;
    FDL->ClearStop();
    FPageRootThread->Resume();
}

bool TPageRoot::StopAllLevelsExpandThread() {
    if (FPageRootThread) {
        try {
            FPageRootThread->Terminate();
            FStop = true;
            FEventsOff = true;
            FDL->RequestStop();
            FPageRootThread->WaitFor();
        } catch (const std::exception& error) {
            WriteLog(ClassName(), std::string("StopAllLevelsExpandThread Exception : ") + error.what());
            return false;
        }
        FPageRootThread.reset();
        FEventsOff = true;
    }
    return FPageRootThread == nullptr;
}

bool TPageRoot::IsOtherInstanceAlive() { return FSemaphore.OtherInstanceAlive(); }

void TPageRoot::ExpandAllLevels() {
    WriteLog(ClassName(), "ExpandAllLevels Start");
    int pass = 0;
    int added = 0;
    do {
        ++pass;
        added = ExpandOneLevel();
        WriteLog(ClassName(), "ExpandAllLevels cnt=" + std::to_string(added) + " lvl=" + std::to_string(pass));
    } while (added != 0 && pass <= kMaxPasses && !FStop);
}

int TPageRoot::ExpandOneLevel() {
    WriteLog(ClassName(), "ExpandOneLevel START");
    int added = 0;
    for (int i = 0; i < NodeCount() && !FStop; ++i) {
        TempPLO = Nodes(i);
        WriteLog(ClassName(), "ExpandOneLevel TempPLO.URLName=" + TempPLO->URLName +
                                  " TempPLO.Completed=" + BoolText(TempPLO->Completed));
        if (!TempPLO->Completed) {
            ExpandNode(*TempPLO, i, added);
        }
    }
    WriteLog(ClassName(), "ExpandOneLevel END");
    return added;
}

TPageListObj* TPageRoot::AddLoggedChild(TPageListObj& parent, const std::string& urlName) {
    TPageListObj* child = parent.AddChild();
    child->URLName = urlName;
    WriteLog(ClassName(), "ExpandOneLevel TempPLO.AddChild childplo.URLName=" + urlName);
    return child;
}

void TPageRoot::ExpandNode(TPageListObj& node, int& index, int& added) {
    TDL& downloader = *FDL;
    downloader.Location = node.URLName;
    const int before = node.DescendantCount();
    downloader.HomeDir = (node.Parent == nullptr || node.Parent == this) ? std::string() : node.Parent->Folder;
    node.TempFile = downloader.TempFile;
    WriteLog(ClassName(), "ExepandOneLevel FDL.Start (BEGIN DOWNLOAD) FDL.HomeDir= " + downloader.HomeDir);
    downloader.Start();
    WriteLog(ClassName(), "ExepandOneLevel FDL.Start (END DOWNLOAD) = FDL.DLType = " + DLTypeName(downloader.DLType));
    node.DLType = downloader.DLType;
    index += node.DescendantCount() - before;  // the pages just created are passed over
    node.FileName = downloader.Destination;
    node.Folder = ExtractFilePath(node.FileName);
    node.ContentType = downloader.ContentType;
    node.Completed = true;
    WriteLog(ClassName(), "ExpandOneLevel TempPLO.FileName=" + node.FileName + " TempPLO.ContentType=" +
                              node.ContentType + " TempPLO.DLType=" + DLTypeName(node.DLType));
    const auto childAdded = [&index, &added] {
        ++index;
        ++added;
    };
    switch (node.DLType) {
        case dltFileXml: {
            WriteLog(ClassName(), "ExpandOneLevel XML BEGIN");
            if (node.ExpandXml) {
                node.XmlExpanded = false;
                try {
                    const std::vector<std::string> names = UnpackXml(node.FileName);
                    for (const std::string& name : names) {
                        node.AddChild()->URLName = name;
                        childAdded();
                        node.XmlExpanded = true;
                    }
                } catch (const std::exception& error) {
                    WriteLog(ClassName(), std::string("ExpandOneLevel XML Exception : ") + error.what());
                    node.XmlExpanded = false;
                }
                if (!node.XmlExpanded) {
                    TPageListObj* child = node.AddChild();
                    child->URLName = node.FileName;
                    child->ExpandXml = false;
                    childAdded();
                    downloader.ThumbImage->SetFileName(node.FileName);
                    downloader.ThumbImage->SetPage(0);
                    bool drawn = false;
                    AddPage(std::make_shared<const TBitmap>(downloader.ThumbImage->IconPicture(drawn)), 0, nullptr,
                            nullptr);
                }
            }
            WriteLog(ClassName(), "ExpandOneLevel XML END");
            break;
        }
        case dltCommand:
            EventOnCommandExec(node.URLName);
            break;
        case dltCollection:
            for (const std::string& entry : ReadCollectionList(node.FileName, [this] { return FStop.load(); })) {
                AddLoggedChild(node, entry);
                childAdded();
            }
            break;
        case dltCABCollection: {
            // Each cabinet gets a folder of its own, so cabinets side by side keep their own lists.
            const std::string folder = MakeCabinetFolder();
            TPageListObj* child = AddLoggedChild(node, CabinetChildName(folder));
            child->Folder = folder;
            childAdded();
            UnzipCabinet(node.FileName, folder, [this](const std::string& fileName, int number, int count) {
                if (OnProgress) {
                    TProgressInfo progress;
                    progress.Progress = number;
                    progress.ProgressMax = count;
                    progress.StatusText = fileName;
                    DLProgress(progress);
                }
            });
            break;
        }
        case dltIndexDat:
            for (const std::string& document : IndexDataChildNames(node.FileName, downloader.PageNo)) {
                AddLoggedChild(node, document);
                childAdded();
            }
            break;
        case dltDataCrypt: {
            const std::string folder = GetTempDir();
            TPageListObj* child = AddLoggedChild(node, DataCryptChildName(folder, node.FileName));
            child->Folder = folder;
            childAdded();
            std::string errorText;
            child->ErrorCode = DataCrypt_Decrypt(node.FileName, child->URLName, errorText, DataCryptKeys);
            child->ErrorText = errorText;
            break;
        }
        default:
            break;
    }
}

std::vector<std::string> TPageRoot::UnpackXml(const std::string& fileName) {
    // An external stylesheet is fetched by a downloader of its own, which
    // produces no pages.
    const TXmlFetch fetch = [this, folder = ExtractFilePath(fileName)](const std::string& reference,
                                                                        std::uintptr_t window) {
        TDL stylesheet;
        stylesheet.WindowHandle = window;
        stylesheet.HomeDir = folder;
        stylesheet.Location = reference;
        stylesheet.ProxyUser = FDL->ProxyUser;
        stylesheet.ProxyPassword = FDL->ProxyPassword;
        stylesheet.Limits = FDL->Limits;
        stylesheet.Start();
        return stylesheet.Destination;
    };
    const TXmlMessageSink messages = [this](const std::string& caption, const std::string& text) {
        WriteLog(ClassName(), caption + ": " + text);
        if (OnMessage) {
            FMainThread.Synchronize([this, &caption, &text] {
                if (OnMessage) {
                    OnMessage(caption, text);
                }
            });
        }
    };
    return XmlChildNames(fileName, WindowHandle(), fetch, messages);
}

// ---- pages ------------------------------------------------------------------

HRESULT TPageRoot::AddPage(const std::shared_ptr<const TBitmap>& thumbnail, int pageNumber,
                           const TImageFileInfo* fileInfo, const TBitmap* decodedImage) {
    if (CurrentContentIndex == -1) {
        SetCurrentContentIndex(0);
    }
    TPageListObj* page = nullptr;
    if (TempPLO != nullptr) {
        page = TempPLO->AddChild();
        page->URLName = TempPLO->URLName;
        page->FileName = FDL->Destination;
        page->ContentType = FDL->ContentType;
        page->TempFile = FDL->TempFile;
        page->DLType = FDL->DLType;
        page->PageNo = pageNumber;
        page->Completed = true;
        page->Thumbnail = thumbnail;
        page->SetIsContent(true);
        const int index = ContentIndexFor(page);
        const int cacheFormat = fileInfo != nullptr && decodedImage != nullptr ? CacheFileFormat(*fileInfo, *decodedImage) : 0;
        if (cacheFormat != 0) {
            // A page decoded while it downloaded keeps its own image file beside the
            // download: page 3 of a.tif becomes a_3.tif.
            const std::string ext = ExtractFileExt(page->FileName);
            const std::string name = page->FileName.substr(0, page->FileName.size() - ext.size()) + "_" +
                                     std::to_string(pageNumber) + ext;
            if (SaveBitmap(name, *decodedImage, cacheFormat, 0, 0, 0) == kImagingSuccess) {
                page->CacheName = name;
            }
        }
        int count = 0;
        {
            TContentList::TLocked content = FContentList.LockList();
            count = content.Count();
            content.Insert(index < count ? index : count, page);
        }
        if (index == 0 && count > 0) {
            SetCurrentContentIndex(-1);
        }
        if (CurrentContentIndex == -1) {
            SetCurrentContentIndex(0);
        }
    }
    if (page != nullptr && !FDestroying && !FStop && !FEventsOff) {
        EventOnNewContentExec(page);
    }
    return FStop ? E_ABORT : S_OK;
}

HRESULT TPageRoot::DLProgress(const TProgressInfo& progress) {
    if (OnProgress) {
        const bool stopping = FStop;
        FProgress = progress;
        EventOnProgressExec();
        return stopping ? E_ABORT : S_OK;
    }
    return FStop ? E_ABORT : S_OK;
}

// ---- clearing ---------------------------------------------------------------

void TPageRoot::DeleteTemporaryFiles() {
    const std::string folder = GetTempDir();
    if (!IsOtherInstanceAlive()) {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
        std::vector<std::string> names;
        while (dir) {
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                break;
            }
            if (HasTempPrefix(entry->d_name)) {
                names.emplace_back(entry->d_name);
            }
        }
        for (const std::string& name : names) {
            RemoveQuietly(folder + name);
        }
        return;
    }
    // Another viewer lives: only this document's own files go.
    FlatList.ForEach([&](const TPageListObj& node) {
        for (const std::string* name : {&node.URLName, &node.FileName, &node.CacheName, &node.TempFile}) {
            const std::string fileName = ExtractFileName(*name);
            if (HasTempPrefix(fileName)) {
                RemoveQuietly(folder + fileName);
            }
        }
        // An extraction folder of this document inside the temporary folder.
        if (node.Folder.size() > folder.size() && node.Folder.compare(0, folder.size(), folder) == 0 &&
            HasTempPrefix(std::string_view(node.Folder).substr(folder.size()))) {
            RemoveQuietly(node.Folder);
        }
    });
}

bool TPageRoot::Clear() {
    WriteLog(ClassName(), "TPageRoot.Clear - START");
    WriteLog(ClassName(), "  Before Stop AllLevelsExpandThread");
    const bool stopped = StopAllLevelsExpandThread();
    WriteLog(ClassName(), std::string("  After Stop AllLevelsExpandThread; Result = ") + BoolText(stopped));
    if (!stopped) {
        return false;
    }
    try {
        {
            TContentList::TLocked content = FContentList.LockList();
            DeleteTemporaryFiles();
            ::unlink((GetTempDir() + "_PaxidList.Paxid").c_str());
            WriteLog(ClassName(), "  PageEnum.Clear");
            FreeTree();
            WriteLog(ClassName(), "  FlatList.Clear");
            FlatList.Clear();
            WriteLog(ClassName(), "  FContentList.UnlockList");
        }
        WriteLog(ClassName(), "  FContentList.Clear");
        FContentList.LockList().Clear();
        TempPLO = nullptr;
        SetCurrentContentIndex(-1);
    } catch (const std::exception& error) {
        WriteLog(ClassName(), std::string("  Exception : ") + error.what());
    }
    WriteLog(ClassName(), "TPageRoot.Clear - END");
    return true;
}

// ---- lists ------------------------------------------------------------------

TPageListObj* TPageRoot::Nodes(int index) const {
    return index < 0 ? nullptr : FlatList.At(static_cast<std::size_t>(index));
}

int TPageRoot::CompletedCount() const {
    int completed = 0;
    FlatList.ForEach([&](const TPageListObj& node) { completed += node.Completed ? 1 : 0; });
    return completed;
}

int TPageRoot::ContentIndexFor(const TPageListObj* node) const {
    if (node == nullptr) {
        return static_cast<int>(FlatList.MarkedCount());
    }
    return static_cast<int>(FlatList.MarkedBefore(node->FFlatLink));
}

int TPageRoot::ContentCount() { return FContentList.LockList().Count(); }

TPageListObj* TPageRoot::ContentItem(int index) { return FContentList.LockList().Items(index); }

int TPageRoot::IndexOfContent(const TPageListObj* page) { return FContentList.LockList().IndexOf(page); }

void TPageRoot::RemoveContent(TPageListObj* page) { FContentList.LockList().Remove(page); }

int TPageRoot::ImageContentCount() {
    int images = 0;
    FContentList.LockList().ForEach([&images](const TPageListObj& page) { images += page.DLType == dltImage; });
    return images;
}

TPageListObj* TPageRoot::CurrentContent() { return ContentItem(CurrentContentIndex); }

void TPageRoot::PlaceInFlatList(TPageListObj& child) {
    TPageListObj* parent = child.Parent;
    FlatList.SetMarked(child.FFlatLink, child.IsContent());
    if (parent == nullptr || !parent->FFlatLink.Linked) {
        FlatList.Insert(FlatList.Count(), child.FFlatLink);
        return;
    }
    // Right after the parent's existing subtree; its count includes the new child.
    FlatList.Insert(FlatList.IndexOf(parent->FFlatLink) + static_cast<std::size_t>(parent->DescendantCount()),
                    child.FFlatLink);
}

void TPageRoot::MarkContent(TPageListObj& node, bool isContent) {
    if (FListsAlive) {
        FlatList.SetMarked(node.FFlatLink, isContent);
    }
}

void TPageRoot::Forget(TPageListObj& node) {
    if (!FListsAlive) {
        return;
    }
    FlatList.Remove(node.FFlatLink);
    FContentList.LockList().Remove(&node);
}

// ---- current page -------------------------------------------------------------

void TPageRoot::SetCurrentContentIndex(int value) {
    const int current = CurrentContentIndex;
    WriteLog(ClassName(), "SetCurrentContentIndex CurrentContentIndex=" + std::to_string(current) +
                              "  Value=" + std::to_string(value));
    if (value < -1 || value >= ContentCount() || value == current) {
        return;
    }
    CurrentContentIndex = value;
    if (value >= 0 && OnCurrentContentChanged) {
        WriteLog(ClassName(), "SetCurrentContentIndex Exec");
        EventOnCurrentContentChangedExec(ContentItem(value));
    }
}

TPageListObj* TPageRoot::GoToContent(int index) {
    SetCurrentContentIndex(index);
    return CurrentContent();
}

TPageListObj* TPageRoot::NextContent() { return GoToContent(CurrentContentIndex + 1); }
TPageListObj* TPageRoot::PrevContent() { return GoToContent(CurrentContentIndex - 1); }
TPageListObj* TPageRoot::FirstContent() { return GoToContent(0); }
TPageListObj* TPageRoot::LastContent() { return GoToContent(ContentCount() - 1); }
bool TPageRoot::IsFirstContent() { return CurrentContentIndex < 1; }
bool TPageRoot::IsLastContent() { return CurrentContentIndex >= ContentCount() - 1; }

// ---- forwarders -----------------------------------------------------------------

int TPageRoot::ThumbWidth() const { return FDL && FDL->ThumbImage ? FDL->ThumbImage->ThumbWidth : 0; }
void TPageRoot::SetThumbWidth(int width) {
    if (FDL && FDL->ThumbImage) {
        FDL->ThumbImage->ThumbWidth = width;
    }
}
int TPageRoot::ThumbHeight() const { return FDL && FDL->ThumbImage ? FDL->ThumbImage->ThumbHeight : 0; }
void TPageRoot::SetThumbHeight(int height) {
    if (FDL && FDL->ThumbImage) {
        FDL->ThumbImage->ThumbHeight = height;
    }
}
int TPageRoot::ThumbShowTextLevel() const {
    return FDL && FDL->ThumbImage ? FDL->ThumbImage->ThumbShowTextLevel : 0;
}
void TPageRoot::SetThumbShowTextLevel(int level) {
    if (FDL && FDL->ThumbImage) {
        FDL->ThumbImage->ThumbShowTextLevel = level;
    }
}
std::uintptr_t TPageRoot::WindowHandle() const { return FDL ? FDL->WindowHandle : 0; }
void TPageRoot::SetWindowHandle(std::uintptr_t window) {
    if (FDL) {
        FDL->WindowHandle = window;
    }
}

// ---- event delivery ---------------------------------------------------------------

void TPageRoot::Deliver(const char* name, bool hasHandler, const std::function<void()>& synchronised,
                        const std::function<void()>& direct) {
    if (!FMainThread.IsMainThread()) {
        // From the loader: the stored argument is read on the main thread while
        // the loader waits. Without a handler there is nothing to wait for.
        if (FPageRootThread && hasHandler) {
            FPageRootThread->Synchronize(synchronised);
        }
    } else {
        direct();
    }
    WriteLog(ClassName(), std::string(name) + " End");
}

std::string TPageRoot::StartLine(const char* name) const {
    return std::string(name) + " Start MainThreadID=" + std::to_string(MainThreadID) +
           "; GetCurrentThreadID = " + std::to_string(TPageRootThread::CurrentThreadId());
}

void TPageRoot::EventOnNewContentExec(TPageListObj* page) {
    WriteLog(ClassName(), StartLine("EventOnNewContentExec"));
    WriteLog(ClassName(), std::string("Assigned(FOnNewContent) = ") + BoolText(static_cast<bool>(OnNewContent)));
    FEventPage = page;
    const auto handle = [this, page] {
        if (OnNewContent) {
            OnNewContent(page);
        }
    };
    Deliver("EventOnNewContentExec", static_cast<bool>(OnNewContent), [this] {
        WriteLog(ClassName(), "EventOnNewContentSync START");
        WriteLog(ClassName(), std::string("Assigned(FOnNewContent) = ") + BoolText(static_cast<bool>(OnNewContent)));
        if (OnNewContent) {
            OnNewContent(FEventPage);
        }
        WriteLog(ClassName(), "EventOnNewContentSync END");
    }, handle);
}

void TPageRoot::EventOnCurrentContentChangedExec(TPageListObj* page) {
    WriteLog(ClassName(), StartLine("EventOnCurrentContentChangedExec"));
    FEventPage = page;
    const auto handle = [this] {
        if (OnCurrentContentChanged) {
            OnCurrentContentChanged(FEventPage);
        }
    };
    Deliver("EventOnCurrentContentChangedExec", static_cast<bool>(OnCurrentContentChanged), handle, handle);
}

void TPageRoot::EventOnProgressExec() {
    WriteLog(ClassName(), StartLine("EventOnProgressExec"));
    const auto handle = [this] {
        if (OnProgress) {
            OnProgress(FProgress);
        }
    };
    Deliver("EventOnProgressExec", static_cast<bool>(OnProgress), handle, handle);
}

void TPageRoot::EventOnCommandExec(const std::string& command) {
    WriteLog(ClassName(), StartLine("EventOnCommandExec"));
    FCommandText = command;
    const auto handle = [this] {
        if (OnCommand) {
            OnCommand(FCommandText);
        }
    };
    Deliver("EventOnCommandExec", static_cast<bool>(OnCommand), handle, handle);
}

}  // namespace paxid
