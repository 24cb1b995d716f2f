#include "document/pContentList.h"

#include "document/pPageObj.h"

namespace paxid {

TPageListObj* TContentList::TLocked::Items(int index) const {
    return index < 0 ? nullptr : FList.FItems.At(static_cast<std::size_t>(index));
}

int TContentList::TLocked::IndexOf(const TPageListObj* page) const {
    if (page == nullptr) {
        return -1;
    }
    const std::size_t index = FList.FItems.IndexOf(page->FContentLink);
    return index == TRankedList<TPageListObj>::npos ? -1 : static_cast<int>(index);
}

void TContentList::TLocked::Insert(int index, TPageListObj* page) {
    if (page != nullptr) {
        FList.FItems.Insert(index < 0 ? 0 : static_cast<std::size_t>(index), page->FContentLink);
    }
}

void TContentList::TLocked::Remove(TPageListObj* page) {
    if (page != nullptr) {
        FList.FItems.Remove(page->FContentLink);
    }
}

}  // namespace paxid
