// How the page tree's cost grows with the document: the time per 1,000 nodes
// at 10,000 and at 100,000 nodes, and their ratio (1.0 = linear growth).
// Each figure is the best of several runs, each started with cold caches.
#include "document/pPageRoot.h"
#include "platform/thread/MainThread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace paxid;
using TClock = std::chrono::steady_clock;

constexpr int kRuns = 5;

// One list node with every node below it.
void OneWideList(TPageRoot& root, int nodes) {
    TPageListObj& list = *root.AddChild();
    for (int i = 1; i < nodes; ++i) {
        list.AddChild();
    }
}

// 100 list nodes, then each list's children, the order in which a pass over
// the depth-first list adds them.
void HundredLists(TPageRoot& root, int nodes) {
    constexpr int kLists = 100;
    for (int i = 0; i < kLists; ++i) {
        root.AddChild();
    }
    const int childrenEach = (nodes - kLists) / kLists;
    for (int i = 0; i < root.NodeCount(); ++i) {
        TPageListObj& list = *root.Nodes(i);
        if (list.Level != 1) {
            continue;
        }
        for (int c = 0; c < childrenEach; ++c) {
            list.AddChild();
        }
        i += childrenEach;
    }
}

// Sources first, then their pages as the next pass creates them: every page
// asks for its content position and goes into the content list there.
void PagesInDocumentOrder(TPageRoot& root, int nodes) {
    constexpr int kPagesEach = 9;
    const int sources = nodes / (kPagesEach + 1);
    for (int i = 0; i < sources; ++i) {
        root.AddChild();
    }
    for (int s = 0; s < sources; ++s) {
        TPageListObj& source = *root.PageEnum.Items(s);
        for (int p = 0; p < kPagesEach; ++p) {
            TPageListObj& page = *source.AddChild();
            page.SetIsContent(true);
            root.FContentList.LockList().Insert(root.ContentIndexFor(&page), &page);
        }
    }
}

// The worst arrival order: every page belongs in front of all pages so far.
void PagesInReverseOrder(TPageRoot& root, int nodes) {
    const int sources = nodes / 2;
    for (int i = 0; i < sources; ++i) {
        root.AddChild();
    }
    for (int s = sources - 1; s >= 0; --s) {
        TPageListObj& page = *root.PageEnum.Items(s)->AddChild();
        page.SetIsContent(true);
        root.FContentList.LockList().Insert(root.ContentIndexFor(&page), &page);
    }
}

// The nodes alone, allocated and owned by one node's children, without any
// depth-first list: the memory traffic every case pays per node.
void NodesWithoutTree(TPageRoot& root, int nodes) {
    for (int i = 0; i < nodes; ++i) {
        root.PageEnum.Add(std::make_unique<TPageListObj>(nullptr));
    }
}

// Writes a buffer larger than the last-level cache, so that every run starts
// cold: otherwise the 10,000-node runs reuse the previous run's memory from
// the cache while the 100,000-node ones (some 40 MB) cannot, and the ratio
// measures the cache size instead of how the cost per node grows.
void EvictCaches() {
    static std::vector<char> buffer(128u << 20);
    static char value = 0;
    std::memset(buffer.data(), ++value, buffer.size());
}

double MillisecondsPerThousand(const std::function<void(TPageRoot&, int)>& build, int nodes, bool buildsTree) {
    double best = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        TQueueMainThread mainThread;
        auto root = std::make_unique<TPageRoot>(mainThread);
        EvictCaches();
        const auto start = TClock::now();
        build(*root, nodes);
        const auto end = TClock::now();
        if (buildsTree && root->NodeCount() < nodes * 9 / 10) {
            std::fprintf(stderr, "built only %d nodes\n", root->NodeCount());
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best / (nodes / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    // An argument picks the cases whose name contains it.
    const std::string only = argc > 1 ? argv[1] : "";
    // The allocator keeps what a run frees, so that no run pays page faults
    // for memory the run before it handed back to the system: whether glibc
    // trims depends on where the last free chunk lies, not on our code.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    // AddChild must grow linearly (ratio below 1.5); placing pages must at
    // least never grow quadratically (which would show a ratio near 10). The
    // reference row has no limit: it shows what allocating the nodes alone
    // costs per node at each size on this machine.
    const struct {
        const char* Name;
        std::function<void(TPageRoot&, int)> Build;
        double Limit;  // 0: a reference without limit
    } cases[] = {
        {"reference: the nodes without a tree", NodesWithoutTree, 0},
        {"AddChild, one list of all nodes", OneWideList, 1.5},
        {"AddChild, 100 lists level by level", HundredLists, 1.5},
        {"pages placed in document order", PagesInDocumentOrder, 3.0},
        {"pages arriving in reverse order", PagesInReverseOrder, 3.0},
    };
    std::printf("%-38s %12s %12s %7s %11s %6s\n", "case", "10k ms/1000", "100k ms/1000", "ratio", "100k total",
                "limit");
    bool withinLimits = true;
    for (const auto& c : cases) {
        const bool reference = c.Limit == 0;
        if (!reference && std::string(c.Name).find(only) == std::string::npos) {
            continue;
        }
        const double small = MillisecondsPerThousand(c.Build, 10000, !reference);
        const double large = MillisecondsPerThousand(c.Build, 100000, !reference);
        const double ratio = large / small;
        withinLimits = withinLimits && (reference || ratio < c.Limit);
        std::printf("%-38s %12.4f %12.4f %7.2f %8.1f ms %6s\n", c.Name, small, large, ratio, large * 100, reference ? "-" : std::to_string(c.Limit).substr(0, 3).c_str());
    }
    std::printf("%s\n", withinLimits ? "every ratio is within its limit" : "a ratio is OVER its limit");
    return withinLimits ? 0 : 1;
}
