#include "platform/instancelock/InstanceLock.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace paxid {
namespace {

// A second process that holds the lock until the pipe is closed.
class TOtherInstance {
public:
    explicit TOtherInstance(const std::string& lockFile) {
        int ready[2];
        if (::pipe(FRelease) != 0 || ::pipe(ready) != 0) {
            return;
        }
        FChild = ::fork();
        if (FChild == 0) {
            ::close(FRelease[1]);
            ::close(ready[0]);
            TInstanceLock lock(lockFile);
            const char held = lock.IsHeld() ? '1' : '0';
            (void)!::write(ready[1], &held, 1);
            char byte;
            (void)!::read(FRelease[0], &byte, 1);
            ::_exit(0);
        }
        ::close(FRelease[0]);
        ::close(ready[1]);
        char held = '0';
        (void)!::read(ready[0], &held, 1);
        ::close(ready[0]);
        FHeld = held == '1';
    }

    ~TOtherInstance() { Exit(); }

    bool Held() const { return FHeld; }

    void Exit() {
        if (FChild > 0) {
            ::close(FRelease[1]);
            ::waitpid(FChild, nullptr, 0);
            FChild = -1;
        }
    }

private:
    int FRelease[2] = {-1, -1};
    pid_t FChild = -1;
    bool FHeld = false;
};

TEST(InstanceLock, SeesAnotherLiveProcessAndItsEnd) {
    test::TScratchFolder folder;
    const std::string lockFile = folder / TInstanceLock::kLockFileName;
    TInstanceLock own(lockFile);
    ASSERT_TRUE(own.IsHeld());
    EXPECT_FALSE(own.OtherInstanceAlive());

    TOtherInstance other(lockFile);
    ASSERT_TRUE(other.Held());
    EXPECT_TRUE(own.OtherInstanceAlive());
    EXPECT_TRUE(own.OtherInstanceAlive()) << "the test must take the own lock back";

    other.Exit();
    EXPECT_FALSE(own.OtherInstanceAlive());
}

TEST(InstanceLock, ReleasedLockNoLongerCounts) {
    test::TScratchFolder folder;
    const std::string lockFile = folder / TInstanceLock::kLockFileName;
    TInstanceLock own(lockFile);
    TOtherInstance other(lockFile);
    own.Release();
    EXPECT_FALSE(own.OtherInstanceAlive());
    TInstanceLock again(lockFile);
    EXPECT_TRUE(again.OtherInstanceAlive());
}

}  // namespace
}  // namespace paxid
