#pragma once

#include "document/pRankedList.h"

#include <mutex>

namespace paxid {

class TPageListObj;

// The pages of the document in display order, behind their own lock. Does
// not own the pages. Every access goes through a TLocked view, which holds
// the lock for as long as it lives; the lock is recursive so a view may be
// taken again on the same thread (freeing nodes under a held view removes
// them from the list).
class TContentList {
public:
    class TLocked {
    public:
        explicit TLocked(TContentList& list) : FList(list), FGuard(list.FLock) {}

        int Count() const { return static_cast<int>(FList.FItems.Count()); }
        // nullptr when index is outside 0..Count-1.
        TPageListObj* Items(int index) const;
        // -1 when the page is not in the list.
        int IndexOf(const TPageListObj* page) const;
        // Inserts before index, or appends when index >= Count. A page already
        // in the list stays where it is.
        void Insert(int index, TPageListObj* page);
        void Add(TPageListObj* page) { Insert(Count(), page); }
        void Remove(TPageListObj* page);
        void Clear() { FList.FItems.Clear(); }

        // Visits the pages in order.
        template <class F>
        void ForEach(F&& visit) const {
            FList.FItems.ForEach(visit);
        }

    private:
        TContentList& FList;
        std::lock_guard<std::recursive_mutex> FGuard;
    };

    TLocked LockList() { return TLocked(*this); }

private:
    std::recursive_mutex FLock;
    TRankedList<TPageListObj> FItems;
};

}  // namespace paxid
