#pragma once

#include "platform/posix/FileDescriptor.h"

#include <string>

namespace paxid {

// Tells a viewer process whether another one is alive. Every live process
// holds a shared lock on one lock file in the private temporary folder; the
// lock dies with its process, so a crash never blocks cleaning.
class TInstanceLock {
public:
    static constexpr const char* kLockFileName = "PaxidVW3Semaphore.lock";

    // Opens lockFilePath (created when missing) and takes the shared lock.
    explicit TInstanceLock(const std::string& lockFilePath);
    // The lock file of the private temporary folder.
    TInstanceLock();

    bool IsHeld() const { return FFile.IsOpen(); }

    // True when another process holds the lock: this one drops its own lock,
    // tries an exclusive one without waiting, and takes its shared lock back.
    bool OtherInstanceAlive();

    // Drops the lock (the semaphore handle's closing).
    void Release() { FFile.Reset(); }

private:
    std::string FPath;
    TFileDescriptor FFile;
};

}  // namespace paxid
