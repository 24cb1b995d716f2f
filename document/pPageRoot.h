#pragma once

#include "document/pContentList.h"
#include "document/pDataCrypt.h"
#include "document/pPageObj.h"
#include "document/pRankedList.h"
#include "foundation/pHResult.h"
#include "platform/instancelock/InstanceLock.h"
#include "retrieval/pDLTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paxid {

class TDL;
class TMainThread;
class TPageRootThread;

// The document: the root of the page tree, the depth-first list of every
// node below it (FlatList), the locked list of its pages in display order
// (FContentList), the current page, one downloader and the expansion that
// turns sources into pages one tree level at a time on the loader thread.
// Owns the tree through its PageEnum; the two lists only refer to nodes.
//
// Threads: the expansion (ExpandOneLevel, ExpandAllLevels, AddPage,
// DLProgress) runs on the loader thread; everything else on the main thread.
// The tree and FlatList are changed by the loader while it runs and read by
// the main thread only inside the events (while the loader waits) or when no
// loader runs. FContentList may be read from any thread.
class TPageRoot : public TPageListObj {
public:
    explicit TPageRoot(TMainThread& mainThread);
    ~TPageRoot() override;

    std::string_view ClassName() const override { return "TPageRoot"; }

    // Empties the document after stopping the loader; false (and nothing
    // changed) when the loader cannot be stopped.
    bool Clear();
    void StartAllLevelsExpandThread();
    bool StopAllLevelsExpandThread();
    // One pass over the tree; returns the child nodes it created (pages not counted).
    int ExpandOneLevel();
    // Passes until one adds nothing, at most 101, or until stopped.
    void ExpandAllLevels();
    // The downloader's thumbnail handler: one new page below the node being expanded.
    HRESULT AddPage(const std::shared_ptr<const TBitmap>& thumbnail, int pageNumber,
                    const TImageFileInfo* fileInfo, const TBitmap* decodedImage);
    // The downloader's progress handler.
    HRESULT DLProgress(const TProgressInfo& progress);
    // True when another viewer process holds the instance lock.
    bool IsOtherInstanceAlive();

    // Depth-first list of the tree, root excluded. No lock.
    int NodeCount() const { return static_cast<int>(FlatList.Count()); }
    // nullptr when index is outside 0..NodeCount-1.
    TPageListObj* Nodes(int index) const;
    int CompletedCount() const;
    // Pages ahead of node in the depth-first list: the position a new page
    // takes in the content list. All pages when node is not in the list.
    int ContentIndexFor(const TPageListObj* node) const;

    // The content list; each call takes and releases its lock.
    int ContentCount();
    TPageListObj* ContentItem(int index);
    int IndexOfContent(const TPageListObj* page);
    // Takes the page out of the content list; the node stays in the tree.
    void RemoveContent(TPageListObj* page);
    int ImageContentCount();
    TPageListObj* CurrentContent();

    // Current page and navigation; each navigation returns CurrentContent afterwards.
    void SetCurrentContentIndex(int value);
    TPageListObj* GoToContent(int index);
    TPageListObj* NextContent();
    TPageListObj* PrevContent();
    TPageListObj* FirstContent();
    TPageListObj* LastContent();
    bool IsFirstContent();
    bool IsLastContent();
    bool IsLoading() const { return FLoadingCount.load() > 0; }

    // Forwarders to the downloader's thumbnail generator.
    int ThumbWidth() const;
    void SetThumbWidth(int width);
    int ThumbHeight() const;
    void SetThumbHeight(int height);
    int ThumbShowTextLevel() const;
    void SetThumbShowTextLevel(int level);
    std::uintptr_t WindowHandle() const;
    void SetWindowHandle(std::uintptr_t window);

    // Event delivery: on the main thread the handler runs at once; from the
    // loader it runs on the main thread while the loader waits.
    void EventOnNewContentExec(TPageListObj* page);
    void EventOnCurrentContentChangedExec(TPageListObj* page);
    void EventOnProgressExec();
    void EventOnCommandExec(const std::string& command);

    TDL& Downloader() { return *FDL; }
    TMainThread& MainThread() { return FMainThread; }

    TContentList FContentList;
    // Index into FContentList of the current page; -1 when none is current.
    std::atomic<std::int32_t> CurrentContentIndex{-1};
    // The node being expanded: the parent of the pages AddPage creates.
    TPageListObj* TempPLO = nullptr;

    std::atomic<bool> FStop{false};
    std::atomic<bool> FEventsOff{true};
    std::atomic<bool> FDestroying{false};
    std::atomic<int> FLoadingCount{0};
    std::unique_ptr<TPageRootThread> FPageRootThread;
    std::int32_t MainThreadID = 0;

    std::function<void(TPageListObj* page)> OnNewContent;
    std::function<void(TPageListObj* page)> OnCurrentContentChanged;
    std::function<void(const TProgressInfo& progress)> OnProgress;
    std::function<void(const std::string& command)> OnCommand;
    std::function<void()> OnExpandDone;

    // Shows a message of the expansion to the user (caption, text); called on
    // the main thread. Without it the message is only logged.
    std::function<void(const std::string& caption, const std::string& text)> OnMessage;
    // The certificates and the password prompt encrypted packages are opened with.
    TDataCryptKeys DataCryptKeys;

protected:
    // Frees every node below the root.
    void FreeTree() { PageEnum.Clear(); }

private:
    friend class TPageListObj;

    void PlaceInFlatList(TPageListObj& child);
    void MarkContent(TPageListObj& node, bool isContent);
    // A node being freed leaves both lists.
    void Forget(TPageListObj& node);
    TPageListObj* AddLoggedChild(TPageListObj& parent, const std::string& urlName);
    void ExpandNode(TPageListObj& node, int& index, int& added);
    void DeleteTemporaryFiles();
    std::vector<std::string> UnpackXml(const std::string& fileName);
    void Deliver(const char* name, bool hasHandler, const std::function<void()>& synchronised,
                 const std::function<void()>& direct);
    std::string StartLine(const char* name) const;

    TMainThread& FMainThread;
    std::unique_ptr<TDL> FDL;
    TInstanceLock FSemaphore;
    TRankedList<TPageListObj> FlatList;
    bool FListsAlive = true;

    // Arguments of the event being delivered from the loader.
    TPageListObj* FEventPage = nullptr;
    TProgressInfo FProgress;
    std::string FCommandText;
};

}  // namespace paxid
