#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace paxid {

class TMainThread;
class TPageRoot;

// The loader thread: runs the expansion of one page root. Created
// suspended; Resume starts it. The object outlives the thread's end until
// the page root stops it.
class TPageRootThread {
public:
    TPageRootThread(TPageRoot& root, TMainThread& mainThread);
    // Waits for the thread (executing its pending synchronised calls) when it still runs.
    ~TPageRootThread();
    TPageRootThread(const TPageRootThread&) = delete;
    TPageRootThread& operator=(const TPageRootThread&) = delete;

    void Resume();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    bool Finished() const { return FFinished; }
    // On the main thread: returns once the thread has ended, running the
    // synchronised calls it makes meanwhile.
    void WaitFor();
    // On the loader thread: runs work on the main thread and waits for it.
    void Synchronize(const std::function<void()>& work);
    // The Linux thread id of the calling thread.
    static std::int32_t CurrentThreadId();

    TPageRoot& Root;

private:
    void Execute();

    TMainThread& FMainThread;
    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
};

}  // namespace paxid
