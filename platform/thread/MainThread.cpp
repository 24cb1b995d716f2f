#include "platform/thread/MainThread.h"

#include "platform/diagnostics/PlatformLog.h"

#include <exception>
#include <string>

namespace paxid {

// One piece of work handed over, waited on by the thread that handed it over.
struct TQueueMainThread::TTask {
    const std::function<void()>* Work = nullptr;
    bool Done = false;
};

TQueueMainThread::TQueueMainThread() : FMainThreadId(std::this_thread::get_id()) {}

TQueueMainThread::~TQueueMainThread() { ProcessPending(); }

bool TQueueMainThread::IsMainThread() const { return std::this_thread::get_id() == FMainThreadId; }

void TQueueMainThread::Run(const std::function<void()>& work) noexcept {
    try {
        work();
    } catch (const std::exception& error) {
        PlatformLog("TMainThread", std::string("AppOnException: ") + error.what());
    } catch (...) {
        PlatformLog("TMainThread", "AppOnException: unknown exception");
    }
}

void TQueueMainThread::Synchronize(const std::function<void()>& work) {
    if (IsMainThread()) {
        Run(work);
        return;
    }
    TTask task;
    task.Work = &work;
    std::unique_lock lock(FLock);
    FQueue.push_back(&task);
    FChanged.notify_all();
    FChanged.wait(lock, [&task] { return task.Done; });
}

int TQueueMainThread::ProcessPending() {
    int ran = 0;
    std::unique_lock lock(FLock);
    while (!FQueue.empty()) {
        TTask* task = FQueue.front();
        FQueue.pop_front();
        lock.unlock();
        Run(*task->Work);
        lock.lock();
        task->Done = true;
        FChanged.notify_all();
        ++ran;
    }
    return ran;
}

void TQueueMainThread::WaitUntil(const std::function<bool()>& finished) {
    for (;;) {
        // Read before the check, so a wake that comes after it is never missed.
        unsigned wakeCount = 0;
        {
            std::lock_guard guard(FLock);
            wakeCount = FWakeCount;
        }
        ProcessPending();
        if (finished()) {
            return;
        }
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [&] { return !FQueue.empty() || FWakeCount != wakeCount; });
    }
}

void TQueueMainThread::Wake() {
    std::lock_guard guard(FLock);
    ++FWakeCount;
    FChanged.notify_all();
}

}  // namespace paxid
