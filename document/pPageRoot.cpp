#include "document/pPageRoot.h"

#include "foundation/pLog.h"

namespace paxid {

TPageRoot::TPageRoot() : TPageListObj(nullptr) {
    WriteLog(ClassName(), "Create");
    Root = this;
}

TPageRoot::~TPageRoot() {
    WriteLog(ClassName(), "TPageRoot.Destroy START");
    // The nodes leave the lists as they are freed, so the lists must outlive them.
    FreeTree();
    FListsAlive = false;
    WriteLog(ClassName(), "TPageRoot.Destroy END");
}

TPageListObj* TPageRoot::Nodes(int index) const {
    return index < 0 ? nullptr : FlatList.At(static_cast<std::size_t>(index));
}

int TPageRoot::CompletedCount() const {
    int completed = 0;
    for (auto* link = FlatList.First(); link != nullptr; link = TRankedList<TPageListObj>::Next(link)) {
        completed += link->Item->Completed ? 1 : 0;
    }
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

}  // namespace paxid
