#pragma once

#include <cstddef>
#include <cstdint>

namespace paxid {

// The hook an item carries to be in one TRankedList. An item that must be in
// several lists carries one hook per list.
template <class T>
struct TRankLink {
    T* Item = nullptr;
    TRankLink* Left = nullptr;
    TRankLink* Right = nullptr;
    TRankLink* Parent = nullptr;
    std::uint32_t Priority = 0;
    std::uint32_t Size = 0;         // items in this subtree
    std::uint32_t MarkedCount = 0;  // marked items in this subtree
    bool Marked = false;
    bool Linked = false;
};

// A sequence of items that does not own them, kept as an implicit treap over
// the items' own hooks: insertion at a position, removal, access by position,
// the position of an item and the number of marked items before it all cost
// O(log n). The page tree inserts children in the middle of its depth-first
// list all the time; a plain array would make that quadratic.
//
// Not thread-safe; the owner serialises access.
template <class T>
class TRankedList {
public:
    using TLink = TRankLink<T>;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    TRankedList() = default;
    TRankedList(const TRankedList&) = delete;
    TRankedList& operator=(const TRankedList&) = delete;
    ~TRankedList() { Clear(); }

    std::size_t Count() const { return SizeOf(FRoot); }
    std::size_t MarkedCount() const { return FRoot == nullptr ? 0 : FRoot->MarkedCount; }

    // Inserts the hook's item before position index (at the end when index >= Count).
    // A hook that is already linked is left where it is; returns false then.
    bool Insert(std::size_t index, TLink& link) {
        if (link.Linked) {
            return false;
        }
        link.Left = link.Right = link.Parent = nullptr;
        link.Priority = NextPriority();
        link.Linked = true;
        Update(&link);
        if (index > Count()) {
            index = Count();
        }
        TLink* left = nullptr;
        TLink* right = nullptr;
        Split(FRoot, index, left, right);
        FRoot = Merge(Merge(left, &link), right);
        FRoot->Parent = nullptr;
        return true;
    }

    // Unlinks the hook; does nothing when it is not linked.
    void Remove(TLink& link) {
        if (!link.Linked) {
            return;
        }
        TLink* parent = link.Parent;
        TLink* merged = Merge(link.Left, link.Right);
        if (merged != nullptr) {
            merged->Parent = parent;
        }
        if (parent == nullptr) {
            FRoot = merged;
        } else if (parent->Left == &link) {
            parent->Left = merged;
        } else {
            parent->Right = merged;
        }
        for (TLink* node = parent; node != nullptr; node = node->Parent) {
            Update(node);
        }
        link.Left = link.Right = link.Parent = nullptr;
        link.Linked = false;
        link.Size = link.MarkedCount = 0;
    }

    // The item at position index; nullptr outside 0..Count-1.
    T* At(std::size_t index) const {
        TLink* node = FRoot;
        while (node != nullptr) {
            const std::size_t leftSize = SizeOf(node->Left);
            if (index < leftSize) {
                node = node->Left;
            } else if (index == leftSize) {
                return node->Item;
            } else {
                index -= leftSize + 1;
                node = node->Right;
            }
        }
        return nullptr;
    }

    // Position of the hook's item; npos when it is not linked.
    std::size_t IndexOf(const TLink& link) const {
        if (!link.Linked) {
            return npos;
        }
        std::size_t index = SizeOf(link.Left);
        for (const TLink* node = &link; node->Parent != nullptr; node = node->Parent) {
            if (node->Parent->Right == node) {
                index += SizeOf(node->Parent->Left) + 1;
            }
        }
        return index;
    }

    // Marked items ahead of the hook's item; MarkedCount() when it is not linked.
    std::size_t MarkedBefore(const TLink& link) const {
        if (!link.Linked) {
            return MarkedCount();
        }
        std::size_t marked = MarkedOf(link.Left);
        for (const TLink* node = &link; node->Parent != nullptr; node = node->Parent) {
            if (node->Parent->Right == node) {
                marked += MarkedOf(node->Parent->Left) + (node->Parent->Marked ? 1 : 0);
            }
        }
        return marked;
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
        for (TLink* node = &link; node != nullptr; node = node->Parent) {
            Update(node);
        }
    }

    // Unlinks every hook.
    void Clear() {
        UnlinkSubtree(FRoot);
        FRoot = nullptr;
    }

    // In-order walk: the first hook and the one after a given hook.
    TLink* First() const {
        TLink* node = FRoot;
        while (node != nullptr && node->Left != nullptr) {
            node = node->Left;
        }
        return node;
    }

    static TLink* Next(const TLink* link) {
        if (link->Right != nullptr) {
            TLink* node = link->Right;
            while (node->Left != nullptr) {
                node = node->Left;
            }
            return node;
        }
        const TLink* node = link;
        while (node->Parent != nullptr && node->Parent->Right == node) {
            node = node->Parent;
        }
        return node->Parent;
    }

private:
    static std::size_t SizeOf(const TLink* node) { return node == nullptr ? 0 : node->Size; }
    static std::size_t MarkedOf(const TLink* node) { return node == nullptr ? 0 : node->MarkedCount; }

    static void Update(TLink* node) {
        node->Size = static_cast<std::uint32_t>(1 + SizeOf(node->Left) + SizeOf(node->Right));
        node->MarkedCount =
            static_cast<std::uint32_t>((node->Marked ? 1 : 0) + MarkedOf(node->Left) + MarkedOf(node->Right));
        if (node->Left != nullptr) {
            node->Left->Parent = node;
        }
        if (node->Right != nullptr) {
            node->Right->Parent = node;
        }
    }

    // Splits the subtree into its first count items and the rest.
    static void Split(TLink* node, std::size_t count, TLink*& left, TLink*& right) {
        if (node == nullptr) {
            left = right = nullptr;
            return;
        }
        if (SizeOf(node->Left) < count) {
            Split(node->Right, count - SizeOf(node->Left) - 1, node->Right, right);
            left = node;
        } else {
            Split(node->Left, count, left, node->Left);
            right = node;
        }
        Update(node);
        node->Parent = nullptr;
    }

    static TLink* Merge(TLink* left, TLink* right) {
        if (left == nullptr || right == nullptr) {
            return left != nullptr ? left : right;
        }
        if (left->Priority > right->Priority) {
            left->Right = Merge(left->Right, right);
            Update(left);
            return left;
        }
        right->Left = Merge(left, right->Left);
        Update(right);
        return right;
    }

    static void UnlinkSubtree(TLink* node) {
        while (node != nullptr) {
            UnlinkSubtree(node->Left);
            TLink* right = node->Right;
            node->Left = node->Right = node->Parent = nullptr;
            node->Linked = false;
            node->Size = node->MarkedCount = 0;
            node = right;
        }
    }

    std::uint32_t NextPriority() {
        // xorshift: priorities only need to look random to keep the tree balanced.
        FSeed ^= FSeed << 13;
        FSeed ^= FSeed >> 7;
        FSeed ^= FSeed << 17;
        return static_cast<std::uint32_t>(FSeed >> 16);
    }

    TLink* FRoot = nullptr;
    std::uint64_t FSeed = 0x9E3779B97F4A7C15ull;
};

}  // namespace paxid
