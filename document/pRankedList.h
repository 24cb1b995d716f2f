#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace paxid {

template <class T>
struct TRankBlock;

// The hook an item carries to be in one TRankedList. An item that must be in
// several lists carries one hook per list.
template <class T>
struct TRankLink {
    T* Item = nullptr;
    TRankBlock<T>* Block = nullptr;  // the block holding the hook while it is linked
    // Where the hook was last seen in its block: a hint, which insertions and
    // removals before it in the same block leave a few places off.
    mutable std::uint32_t Offset = 0;
    bool Marked = false;
    bool Linked = false;
};

// A run of consecutive hooks of a TRankedList. The marks are mirrored here so
// that counting them reads one small array instead of every item.
template <class T>
struct TRankBlock {
    std::vector<TRankLink<T>*> Links;
    std::vector<std::uint8_t> Marks;
    std::size_t MarkedCount = 0;
    std::size_t Index = 0;  // position among the list's blocks
};

// Sums over the blocks' sizes (or marks): prefix sums, point updates and the
// block holding a position, each O(log blocks), in one contiguous array.
class TBlockSums {
public:
    void Build(const std::vector<std::size_t>& values) {
        FTree.assign(values.size() + 1, 0);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::size_t node = i + 1;
            FTree[node] += values[i];
            if (const std::size_t up = node + LowBit(node); up < FTree.size()) {
                FTree[up] += FTree[node];
            }
        }
        FHighBit = 1;
        while (FHighBit * 2 < FTree.size()) {
            FHighBit *= 2;
        }
    }

    void Add(std::size_t block, std::ptrdiff_t delta) {
        for (std::size_t i = block + 1; i < FTree.size(); i += LowBit(i)) {
            FTree[i] = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(FTree[i]) + delta);
        }
    }

    // The sum over the blocks before block.
    std::size_t Before(std::size_t block) const {
        std::size_t sum = 0;
        for (std::size_t i = block; i > 0; i -= LowBit(i)) {
            sum += FTree[i];
        }
        return sum;
    }

    // The last block whose preceding sum is at most position, and position's
    // offset inside it; with sizes as values, the block holding position
    // (empty blocks are never chosen while position < the total).
    std::size_t Find(std::size_t position, std::size_t& offset) const {
        std::size_t block = 0;
        for (std::size_t step = FHighBit; step > 0; step /= 2) {
            if (block + step < FTree.size() && FTree[block + step] <= position) {
                block += step;
                position -= FTree[block];
            }
        }
        offset = position;
        return block;
    }

private:
    static std::size_t LowBit(std::size_t i) { return i & (~i + 1); }

    std::vector<std::size_t> FTree;  // Fenwick tree, 1-based
    std::size_t FHighBit = 1;
};

// A sequence of items that does not own them: insertion at a position,
// removal, access by position, the position of an item and the number of
// marked items before it. The page tree inserts children in the middle of its
// depth-first list all the time; a plain array would make that quadratic.
//
// The hooks are kept in blocks of at most MaxBlock consecutive pointers, with
// the blocks' sizes and marks summed in two small Fenwick trees. An operation
// costs O(log blocks) plus a scan or shift inside one block, and touches no
// other item than its own: a list of a million nodes costs about as much per
// operation as one of ten thousand (a balanced tree over the items themselves
// pays a cache miss per level once the items no longer fit the cache).
//
// Not thread-safe; the owner serialises access.
template <class T, std::size_t MaxBlock = 512>
class TRankedList {
    static_assert(MaxBlock >= 4, "blocks split in halves");

public:
    using TLink = TRankLink<T>;
    using TBlock = TRankBlock<T>;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    TRankedList() = default;
    TRankedList(const TRankedList&) = delete;
    TRankedList& operator=(const TRankedList&) = delete;
    ~TRankedList() { Clear(); }

    std::size_t Count() const { return FCount; }
    std::size_t MarkedCount() const { return FMarkedCount; }

    // Inserts the hook's item before position index (at the end when index >= Count).
    // A hook that is already linked is left where it is; returns false then.
    bool Insert(std::size_t index, TLink& link) {
        if (link.Linked) {
            return false;
        }
        if (FBlocks.empty()) {
            FBlocks.push_back(NewBlock());
            Rebuild();
        }
        std::size_t offset = 0;
        const std::size_t blockIndex = index >= FCount ? LastBlock(offset) : FSizes.Find(index, offset);
        TBlock& block = *FBlocks[blockIndex];
        block.Links.insert(block.Links.begin() + static_cast<std::ptrdiff_t>(offset), &link);
        block.Marks.insert(block.Marks.begin() + static_cast<std::ptrdiff_t>(offset), link.Marked ? 1 : 0);
        link.Block = &block;
        link.Offset = static_cast<std::uint32_t>(offset);
        link.Linked = true;
        ++FCount;
        FSizes.Add(blockIndex, 1);
        if (link.Marked) {
            ++block.MarkedCount;
            ++FMarkedCount;
            FMarks.Add(blockIndex, 1);
        }
        if (block.Links.size() > MaxBlock) {
            SplitBlock(blockIndex);
        }
        return true;
    }

    // Unlinks the hook; does nothing when it is not linked.
    void Remove(TLink& link) {
        if (!link.Linked) {
            return;
        }
        TBlock& block = *link.Block;
        const std::size_t offset = OffsetOf(link);
        block.Links.erase(block.Links.begin() + static_cast<std::ptrdiff_t>(offset));
        block.Marks.erase(block.Marks.begin() + static_cast<std::ptrdiff_t>(offset));
        --FCount;
        FSizes.Add(block.Index, -1);
        if (link.Marked) {
            --block.MarkedCount;
            --FMarkedCount;
            FMarks.Add(block.Index, -1);
        }
        link.Block = nullptr;
        link.Linked = false;
        // Removals leave blocks thin or empty; once they are a quarter full on
        // average the list is packed again, which keeps the cost per removal O(1).
        if (FBlocks.size() > 4 + FCount * 4 / MaxBlock) {
            Repack();
        }
    }

    // The item at position index; nullptr outside 0..Count-1.
    T* At(std::size_t index) const {
        if (index >= FCount) {
            return nullptr;
        }
        std::size_t offset = 0;
        return FBlocks[FSizes.Find(index, offset)]->Links[offset]->Item;
    }

    // Position of the hook's item; npos when it is not linked.
    std::size_t IndexOf(const TLink& link) const {
        if (!link.Linked) {
            return npos;
        }
        return FSizes.Before(link.Block->Index) + OffsetOf(link);
    }

    // Marked items ahead of the hook's item; MarkedCount() when it is not linked.
    std::size_t MarkedBefore(const TLink& link) const {
        if (!link.Linked) {
            return MarkedCount();
        }
        const auto& marks = link.Block->Marks;
        return FMarks.Before(link.Block->Index) +
               static_cast<std::size_t>(
                   std::count(marks.begin(), marks.begin() + static_cast<std::ptrdiff_t>(OffsetOf(link)), 1));
    }

    // Marks or unmarks a hook; an unlinked hook keeps the mark for its insertion.
    void SetMarked(TLink& link, bool marked) {
        if (link.Marked == marked) {
            return;
        }
        link.Marked = marked;
        if (!link.Linked) {
            return;
        }
        link.Block->Marks[OffsetOf(link)] = marked ? 1 : 0;
        link.Block->MarkedCount = marked ? link.Block->MarkedCount + 1 : link.Block->MarkedCount - 1;
        FMarkedCount = marked ? FMarkedCount + 1 : FMarkedCount - 1;
        FMarks.Add(link.Block->Index, marked ? 1 : -1);
    }

    // Unlinks every hook.
    void Clear() {
        for (const auto& block : FBlocks) {
            for (TLink* link : block->Links) {
                link->Block = nullptr;
                link->Linked = false;
            }
        }
        FBlocks.clear();
        FCount = FMarkedCount = 0;
        Rebuild();
    }

    // Visits every item in order; visit must not change the list.
    template <class F>
    void ForEach(F&& visit) const {
        for (const auto& block : FBlocks) {
            for (TLink* link : block->Links) {
                visit(*link->Item);
            }
        }
    }

private:
    // The hook's place in its block, searched outwards from where it was last
    // seen: edits of the block move it by as many places as were made before it.
    static std::size_t OffsetOf(const TLink& link) {
        const auto& links = link.Block->Links;
        const std::size_t size = links.size();
        const std::size_t hint = std::min<std::size_t>(link.Offset, size - 1);
        for (std::size_t distance = 0; distance < size; ++distance) {
            if (hint + distance < size && links[hint + distance] == &link) {
                link.Offset = static_cast<std::uint32_t>(hint + distance);
                return hint + distance;
            }
            if (distance <= hint && links[hint - distance] == &link) {
                link.Offset = static_cast<std::uint32_t>(hint - distance);
                return hint - distance;
            }
        }
        return size;  // not reached: a linked hook is in its block
    }

    // Blocks are allocated at their full size once: a block only grows, by
    // one hook at a time, until it splits.
    static std::unique_ptr<TBlock> NewBlock() {
        auto block = std::make_unique<TBlock>();
        block->Links.reserve(MaxBlock + 1);
        block->Marks.reserve(MaxBlock + 1);
        return block;
    }

    std::size_t LastBlock(std::size_t& offset) const {
        offset = FBlocks.back()->Links.size();
        return FBlocks.size() - 1;
    }

    // Moves the second half of a full block into a new block after it.
    void SplitBlock(std::size_t blockIndex) {
        TBlock& full = *FBlocks[blockIndex];
        auto second = NewBlock();
        const auto half = static_cast<std::ptrdiff_t>(full.Links.size() / 2);
        second->Links.assign(full.Links.begin() + half, full.Links.end());
        second->Marks.assign(full.Marks.begin() + half, full.Marks.end());
        full.Links.resize(static_cast<std::size_t>(half));
        full.Marks.resize(static_cast<std::size_t>(half));
        second->MarkedCount = static_cast<std::size_t>(std::count(second->Marks.begin(), second->Marks.end(), 1));
        full.MarkedCount -= second->MarkedCount;
        for (std::size_t i = 0; i < second->Links.size(); ++i) {
            second->Links[i]->Block = second.get();
            second->Links[i]->Offset = static_cast<std::uint32_t>(i);
        }
        FBlocks.insert(FBlocks.begin() + static_cast<std::ptrdiff_t>(blockIndex) + 1, std::move(second));
        Rebuild();
    }

    // Packs every hook into half-full blocks.
    void Repack() {
        std::vector<std::unique_ptr<TBlock>> packed;
        for (const auto& block : FBlocks) {
            for (std::size_t i = 0; i < block->Links.size(); ++i) {
                if (packed.empty() || packed.back()->Links.size() >= MaxBlock / 2) {
                    packed.push_back(NewBlock());
                }
                TLink* link = block->Links[i];
                link->Offset = static_cast<std::uint32_t>(packed.back()->Links.size());
                packed.back()->Links.push_back(link);
                packed.back()->Marks.push_back(block->Marks[i]);
                packed.back()->MarkedCount += block->Marks[i];
                link->Block = packed.back().get();
            }
        }
        FBlocks = std::move(packed);
        Rebuild();
    }

    // Renumbers the blocks and sums their sizes and marks anew.
    void Rebuild() {
        std::vector<std::size_t> sizes(FBlocks.size());
        std::vector<std::size_t> marks(FBlocks.size());
        for (std::size_t i = 0; i < FBlocks.size(); ++i) {
            FBlocks[i]->Index = i;
            sizes[i] = FBlocks[i]->Links.size();
            marks[i] = FBlocks[i]->MarkedCount;
        }
        FSizes.Build(sizes);
        FMarks.Build(marks);
    }

    std::vector<std::unique_ptr<TBlock>> FBlocks;
    TBlockSums FSizes;
    TBlockSums FMarks;
    std::size_t FCount = 0;
    std::size_t FMarkedCount = 0;
};

}  // namespace paxid
