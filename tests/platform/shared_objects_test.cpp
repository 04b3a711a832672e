#include "platform/shared_objects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "support/shared_objects_scope.h"

namespace tonalda {
namespace {

using namespace std::chrono_literals;

// Every test uses objects of its own, removed afterwards.
class SharedObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sharedObjects_.emplace("so");
        prefix_ = sharedObjects_->prefix();
    }
    void TearDown() override { sharedObjects_.reset(); }

    // Runs body in a child process; its exit code is body's result.
    static pid_t inChild(const std::function<int()>& body) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(body());
        }
        return pid;
    }
    static int waitChild(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string prefix_;
    std::optional<test::SharedObjectsScope> sharedObjects_;
};

TEST_F(SharedObjectsTest, NamesCarryThePrefix) {
    EXPECT_EQ(sharedObjectName("cordane32memmap2"), "/" + prefix_ + "cordane32memmap2");
    unsetenv("TONALDA_SHM_PREFIX");
    EXPECT_EQ(sharedObjectName("cordane32memmap2"), "/cordane32memmap2");
}

TEST_F(SharedObjectsTest, FirstOpenerCreatesZeroedBlockLaterOnesShareIt) {
    const mode_t oldMask = umask(077);
    auto first = SharedMemoryBlock::openOrCreate("block", 1804);
    umask(oldMask);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->created());
    const auto* bytes = static_cast<const unsigned char*>(first->data());
    for (std::size_t i = 0; i < 1804; ++i) {
        ASSERT_EQ(bytes[i], 0) << "at " << i;
    }
    std::memcpy(first->data(), "shared", 7);
    // Open to every user's copy of the program whatever the umask.
    struct stat info {};
    ASSERT_EQ(stat(("/dev/shm/" + prefix_ + "block").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);

    // Another process sees the same bytes and does not count as the creator.
    const pid_t child = inChild([] {
        auto second = SharedMemoryBlock::openOrCreate("block", 1804);
        if (!second || second->created()) {
            return 1;
        }
        if (std::strcmp(static_cast<const char*>(second->data()), "shared") != 0) {
            return 2;
        }
        std::memcpy(second->data(), "answer", 7);
        return 0;
    });
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_STREQ(static_cast<const char*>(first->data()), "answer");
}

TEST_F(SharedObjectsTest, LockHeldByAnotherProcessTimesOutThenCanBeTaken) {
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = inChild([&] {
        auto mutex = NamedMutex::openOrCreate("lock");
        if (!mutex || !mutex->lock(1000ms)) {
            return 1;
        }
        char byte = 'x';
        if (write(toParent[1], &byte, 1) != 1 || read(toChild[0], &byte, 1) != 1) {
            return 2;
        }
        mutex->unlock();
        return 0;
    });
    char byte = 0;
    ASSERT_EQ(read(toParent[0], &byte, 1), 1);

    auto mutex = NamedMutex::openOrCreate("lock");
    ASSERT_NE(mutex, nullptr);
    EXPECT_FALSE(mutex->lock(200ms));

    ASSERT_EQ(write(toChild[1], &byte, 1), 1);
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_TRUE(mutex->lock(1000ms));
    EXPECT_FALSE(mutex->recoveredFromDeadOwner());
    mutex->unlock();
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        close(fd);
    }
}

TEST_F(SharedObjectsTest, HolderMayRelockAndOthersWaitUntilEveryHoldIsReleased) {
    auto mutex = NamedMutex::openOrCreate("lock");
    ASSERT_NE(mutex, nullptr);
    ASSERT_TRUE(mutex->lock(100ms));
    ASSERT_TRUE(mutex->lock(100ms));  // re-entrant for the holding thread

    auto tryFromOtherThread = [&] {
        bool taken = false;
        std::thread other([&] {
            auto same = NamedMutex::openOrCreate("lock");
            taken = same && same->lock(50ms);
            if (taken) {
                same->unlock();
            }
        });
        other.join();
        return taken;
    };
    mutex->unlock();
    EXPECT_FALSE(tryFromOtherThread()) << "one release must not free a mutex taken twice";
    mutex->unlock();
    EXPECT_TRUE(tryFromOtherThread());
}

TEST_F(SharedObjectsTest, LockOfAProcessThatDiedIsRecoveredAndStaysUsable) {
    const pid_t child = inChild([] {
        auto mutex = NamedMutex::openOrCreate("lock");
        return mutex && mutex->lock(1000ms) ? 0 : 1;  // exits holding it
    });
    ASSERT_EQ(waitChild(child), 0);

    auto mutex = NamedMutex::openOrCreate("lock");
    ASSERT_NE(mutex, nullptr);
    ASSERT_TRUE(mutex->lock(1000ms));
    EXPECT_TRUE(mutex->recoveredFromDeadOwner());
    mutex->unlock();

    // Made consistent: later lockers, in this process or another, take it normally.
    ASSERT_TRUE(mutex->lock(1000ms));
    EXPECT_FALSE(mutex->recoveredFromDeadOwner());
    mutex->unlock();
    const pid_t another = inChild([] {
        auto again = NamedMutex::openOrCreate("lock");
        if (!again || !again->lock(1000ms)) {
            return 1;
        }
        again->unlock();
        return 0;
    });
    EXPECT_EQ(waitChild(another), 0);
}

}  // namespace
}  // namespace tonalda
