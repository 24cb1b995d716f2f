#include "platform/instancelock/InstanceLock.h"

#include "platform/tempdir/PrivateTempDir.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace paxid {

namespace {

bool Lock(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

TInstanceLock::TInstanceLock(const std::string& lockFilePath)
    : FPath(lockFilePath), FFile(::open(lockFilePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    if (FFile.IsOpen() && !Lock(FFile.Get(), LOCK_SH)) {
        FFile.Reset();
    }
}

TInstanceLock::TInstanceLock() : TInstanceLock(PrivateTempDir() + kLockFileName) {}

bool TInstanceLock::OtherInstanceAlive() {
    if (!FFile.IsOpen()) {
        return false;
    }
    // Converting a flock is not atomic: it drops the shared lock first. Two
    // processes testing at once would each see the other's lock gone, so the
    // tests themselves are serialised on a second lock file.
    TFileDescriptor testGuard(::open((FPath + ".test").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (testGuard.IsOpen()) {
        Lock(testGuard.Get(), LOCK_EX);
    }
    const bool alone = Lock(FFile.Get(), LOCK_EX | LOCK_NB);
    Lock(FFile.Get(), LOCK_SH);
    return !alone;
}

}  // namespace paxid
