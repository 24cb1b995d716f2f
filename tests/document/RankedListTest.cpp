#include "document/pRankedList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace paxid {
namespace {

struct TItem {
    int Id = 0;
    TRankLink<TItem> Link;
};

// Drives the list and a plain vector with the same random operations and
// compares every answer. Small blocks make splits and repacking frequent.
template <std::size_t MaxBlock>
void CompareWithPlainSequence(unsigned seed) {
    SCOPED_TRACE("blocks of " + std::to_string(MaxBlock) + ", seed " + std::to_string(seed));
    constexpr int kItems = 3000;
    std::vector<std::unique_ptr<TItem>> items;
    for (int i = 0; i < kItems; ++i) {
        items.push_back(std::make_unique<TItem>());
        items.back()->Id = i;
        items.back()->Link.Item = items.back().get();
    }
    TRankedList<TItem, MaxBlock> list;
    std::vector<TItem*> model;
    std::mt19937 random(seed);
    const auto check = [&] {
        ASSERT_EQ(list.Count(), model.size());
        std::size_t marked = 0;
        for (std::size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(list.At(i), model[i]) << i;
            ASSERT_EQ(list.IndexOf(model[i]->Link), i);
            ASSERT_EQ(list.MarkedBefore(model[i]->Link), marked);
            marked += model[i]->Link.Marked ? 1 : 0;
        }
        ASSERT_EQ(list.MarkedCount(), marked);
        ASSERT_EQ(list.At(model.size()), nullptr);
        std::size_t walked = 0;
        list.ForEach([&](TItem& item) { EXPECT_EQ(&item, model[walked++]); });
        ASSERT_EQ(walked, model.size());
    };
    // Growth first, then mostly removals, so that the list grows and thins out.
    for (int step = 0; step < 12000; ++step) {
        TItem& item = *items[random() % kItems];
        const int operation = static_cast<int>(random() % 10);
        if (operation < (step < 6000 ? 5 : 2) && !item.Link.Linked) {
            const std::size_t at = random() % (model.size() + 1);
            ASSERT_TRUE(list.Insert(at, item.Link));
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), &item);
        } else if (operation < 8 && item.Link.Linked) {
            list.Remove(item.Link);
            model.erase(std::find(model.begin(), model.end(), &item));
        } else {
            list.SetMarked(item.Link, !item.Link.Marked);
        }
        if (step % 500 == 0) {
            check();
        }
    }
    check();
}

TEST(RankedList, AgreesWithAPlainSequenceUnderRandomEdits) {
    CompareWithPlainSequence<4>(1);
    CompareWithPlainSequence<16>(2);
    CompareWithPlainSequence<512>(12345);
}

TEST(RankedList, UnlinkedHooksAnswerSafely) {
    TItem a;
    TItem b;
    a.Link.Item = &a;
    b.Link.Item = &b;
    TRankedList<TItem> list;
    EXPECT_EQ(list.IndexOf(a.Link), TRankedList<TItem>::npos);
    list.Remove(a.Link);  // not linked: nothing happens
    list.SetMarked(a.Link, true);
    ASSERT_TRUE(list.Insert(99, a.Link));  // past the end: appended
    EXPECT_FALSE(list.Insert(0, a.Link)) << "a hook is in a list once";
    ASSERT_TRUE(list.Insert(0, b.Link));
    EXPECT_EQ(list.MarkedBefore(b.Link), 0u);
    EXPECT_EQ(list.MarkedCount(), 1u);
    EXPECT_EQ(list.MarkedBefore(TItem().Link), 1u) << "an unlinked hook counts every mark";
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(a.Link.Linked);
    EXPECT_FALSE(b.Link.Linked);
}

}  // namespace
}  // namespace paxid
