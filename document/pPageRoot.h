#pragma once

#include "document/pContentList.h"
#include "document/pPageObj.h"
#include "document/pRankedList.h"

#include <atomic>
#include <cstdint>

namespace paxid {

// The document: the root of the page tree, the depth-first list of every
// node below it (FlatList) and the locked list of its pages in display
// order (FContentList). Owns the tree through its PageEnum; the two lists
// only refer to nodes.
//
// Threads: the tree and FlatList are changed by one thread at a time (the
// loader while it runs); FContentList may be read from any thread.
class TPageRoot : public TPageListObj {
public:
    TPageRoot();
    ~TPageRoot() override;

    std::string_view ClassName() const override { return "TPageRoot"; }

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

    TContentList FContentList;
    // Index into FContentList of the current page; -1 when none is current.
    std::atomic<std::int32_t> CurrentContentIndex{-1};

protected:
    // Frees every node below the root.
    void FreeTree() { PageEnum.Clear(); }

private:
    friend class TPageListObj;

    void PlaceInFlatList(TPageListObj& child);
    void MarkContent(TPageListObj& node, bool isContent);
    // A node being freed leaves both lists.
    void Forget(TPageListObj& node);

    TRankedList<TPageListObj> FlatList;
    bool FListsAlive = true;
};

}  // namespace paxid
