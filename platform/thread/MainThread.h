#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace paxid {

// The program's main thread as other threads see it: they hand it work and
// wait until it is done. The GUI implements it on its event loop; the core
// implementation below is a queue that the main thread pumps.
class TMainThread {
public:
    virtual ~TMainThread() = default;

    virtual bool IsMainThread() const = 0;
    // Runs work on the main thread and returns when it has run. Called on the
    // main thread, runs it at once. An exception of work is logged and dropped.
    virtual void Synchronize(const std::function<void()>& work) = 0;
    // On the main thread: returns once finished() is true, running the work
    // other threads hand over meanwhile (so a thread waiting in Synchronize
    // can finish). finished is checked after every piece of work and whenever
    // Wake is called.
    virtual void WaitUntil(const std::function<bool()>& finished) = 0;
    // Tells a waiting WaitUntil to check its condition again; any thread.
    virtual void Wake() = 0;
};

// A main thread that runs handed-over work when it pumps: in WaitUntil, or
// in ProcessPending. The thread that constructs it is the main thread.
class TQueueMainThread final : public TMainThread {
public:
    TQueueMainThread();
    ~TQueueMainThread() override;

    bool IsMainThread() const override;
    void Synchronize(const std::function<void()>& work) override;
    void WaitUntil(const std::function<bool()>& finished) override;
    void Wake() override;

    // Runs every piece of work handed over so far; returns how many ran.
    int ProcessPending();

private:
    struct TTask;

    static void Run(const std::function<void()>& work) noexcept;

    const std::thread::id FMainThreadId;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TTask*> FQueue;
    unsigned FWakeCount = 0;
};

}  // namespace paxid
