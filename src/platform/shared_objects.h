#pragma once
// Named objects shared between processes: a block of shared memory and process-shared, recursive,
// robust mutexes, both realised as POSIX shared-memory objects ("/<prefix><name>").
//
// $TONALDA_SHM_PREFIX, when set, is put in front of every name, so that test runs (and several
// test executables at once) use objects of their own instead of the program's.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tonalda {

// The POSIX object name for a program name: "/" + $TONALDA_SHM_PREFIX + name.
// Thread: any.
std::string sharedObjectName(std::string_view name);

// Removes every shared-memory object whose name starts with the given prefix (tests clean up
// their private objects with it). Objects already mapped stay valid for who maps them.
// Thread: any.
void removeSharedObjectsWithPrefix(std::string_view prefix);

// A named block of shared memory. The process that creates the object gets it zero-filled
// (created() is true); later processes open the same bytes. The mapping lives as long as the
// object; the named object itself stays until removed, like the program's other named objects.
class SharedMemoryBlock {
  public:
    // Creates or opens the block; nullptr (with errno kept) when that fails.
    // Thread: any.
    static std::unique_ptr<SharedMemoryBlock> openOrCreate(std::string_view name, std::size_t size);

    ~SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    void* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool created() const { return created_; }

  private:
    SharedMemoryBlock(void* data, std::size_t size, bool created)
        : data_(data), size_(size), created_(created) {}

    void* data_;
    std::size_t size_;
    bool created_;
};

// A named mutex shared between processes. It is recursive (the holding thread may take it again
// and must release it as often), and robust: when its holder dies, the next taker gets it in a
// consistent state instead of waiting for ever. Objects are cheap handles: every handle of one
// name in a process uses the same mapping, which stays for the life of the process.
class NamedMutex {
  public:
    // Creates or opens the mutex; nullptr when that fails.
    // Thread: any.
    static std::unique_ptr<NamedMutex> openOrCreate(std::string_view name);

    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Waits at most the timeout; true when the calling thread now holds the mutex (also when its
    // previous holder died while holding it). Thread: any.
    bool lock(std::chrono::milliseconds timeout);
    // Releases one hold of the calling thread. Thread: the holder.
    void unlock();

    // Whether the last successful lock() took the mutex over from a holder that had died.
    bool recoveredFromDeadOwner() const { return recovered_; }

    struct Shared;  // the mapped object

  private:
    explicit NamedMutex(Shared* shared) : shared_(shared) {}

    Shared* shared_;
    bool recovered_ = false;
};

// Holds a NamedMutex for a scope once lock() succeeded.
class NamedMutexHold {
  public:
    NamedMutexHold(NamedMutex& mutex, std::chrono::milliseconds timeout)
        : mutex_(&mutex), held_(mutex.lock(timeout)) {}
    ~NamedMutexHold() {
        if (held_) {
            mutex_->unlock();
        }
    }
    NamedMutexHold(const NamedMutexHold&) = delete;
    NamedMutexHold& operator=(const NamedMutexHold&) = delete;

    bool held() const { return held_; }

  private:
    NamedMutex* mutex_;
    bool held_;
};

}  // namespace tonalda
