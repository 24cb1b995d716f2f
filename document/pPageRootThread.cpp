#include "document/pPageRootThread.h"

#include "document/pPageRoot.h"
#include "foundation/pLog.h"
#include "platform/thread/MainThread.h"

#include <exception>
#include <sys/syscall.h>
#include <unistd.h>

namespace paxid {

TPageRootThread::TPageRootThread(TPageRoot& root, TMainThread& mainThread) : Root(root), FMainThread(mainThread) {}

TPageRootThread::~TPageRootThread() {
    if (FThread.joinable()) {
        WaitFor();
    }
}

void TPageRootThread::Resume() {
    if (!FThread.joinable()) {
        FThread = std::thread([this] { Execute(); });
    }
}

void TPageRootThread::WaitFor() {
    if (!FThread.joinable()) {
        return;
    }
    FMainThread.WaitUntil([this] { return FFinished.load(); });
    FThread.join();
}

void TPageRootThread::Synchronize(const std::function<void()>& work) { FMainThread.Synchronize(work); }

std::int32_t TPageRootThread::CurrentThreadId() { return static_cast<std::int32_t>(::syscall(SYS_gettid)); }

void TPageRootThread::Execute() {
    ++Root.FLoadingCount;
    bool expanded = false;
    try {
        Root.ExpandAllLevels();
        expanded = true;
    } catch (const std::exception& error) {
        WriteLog("TPageRootThread", std::string("Execute Exception : ") + error.what());
    } catch (...) {
        WriteLog("TPageRootThread", "Execute Exception : unknown");
    }
    // The count comes back to 0 also after a failure, so the document never looks busy for ever.
    --Root.FLoadingCount;
    if (expanded && Root.OnExpandDone) {
        Synchronize([this] {
            if (Root.OnExpandDone) {
                Root.OnExpandDone();
            }
        });
    }
    FFinished = true;
    FMainThread.Wake();
}

}  // namespace paxid
