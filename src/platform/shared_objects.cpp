#include "platform/shared_objects.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace tonalda {

namespace {

constexpr mode_t kObjectMode = 0666;

// Opens (creating when missing) a shared-memory object of at least `size` bytes and maps it.
// `exclusiveCreated` tells whether this call created the object.
void* mapNamedObject(const std::string& posixName, std::size_t size, bool& exclusiveCreated) {
    exclusiveCreated = false;
    int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, kObjectMode);
    if (fd >= 0) {
        exclusiveCreated = true;
        // Every user's copy of the program shares the objects (the umask would narrow them):
        // a drive is one per machine, and an object left by one user must not lock out another.
        fchmod(fd, kObjectMode);
    } else if (errno == EEXIST) {
        fd = shm_open(posixName.c_str(), O_RDWR, kObjectMode);
    }
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    // A new object has size 0 until someone sizes it; growing it fills with zeros, so a
    // process that opens the object before its creator sized it may size it too.
    if (fstat(fd, &info) != 0 || (static_cast<std::size_t>(info.st_size) < size &&
                                  ftruncate(fd, static_cast<off_t>(size)) != 0)) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return nullptr;
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int saved = errno;
    close(fd);
    errno = saved;
    return data == MAP_FAILED ? nullptr : data;
}

timespec monotonicDeadline(std::chrono::milliseconds timeout) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto total = std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec) +
                       std::max(timeout, std::chrono::milliseconds(0));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(total);
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(seconds.count());
    deadline.tv_nsec = static_cast<long>((total - seconds).count());
    return deadline;
}

}  // namespace

std::string sharedObjectName(std::string_view name) {
    std::string posixName = "/";
    if (const char* prefix = std::getenv("TONALDA_SHM_PREFIX")) {
        posixName += prefix;
    }
    posixName += name;
    return posixName;
}

void removeSharedObjectsWithPrefix(std::string_view prefix) {
    if (prefix.empty()) {
        return;  // never everything
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) {
            shm_unlink(("/" + name).c_str());
        }
    }
}

// ---- SharedMemoryBlock ------------------------------------------------------------------------

std::unique_ptr<SharedMemoryBlock> SharedMemoryBlock::openOrCreate(std::string_view name,
                                                                   std::size_t size) {
    bool created = false;
    void* data = mapNamedObject(sharedObjectName(name), size, created);
    if (data == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<SharedMemoryBlock>(new SharedMemoryBlock(data, size, created));
}

SharedMemoryBlock::~SharedMemoryBlock() {
    munmap(data_, size_);
}

// ---- NamedMutex -------------------------------------------------------------------------------

struct NamedMutex::Shared {
    // 0 = not yet initialised, 1 = being initialised, 2 = ready.
    std::atomic<std::uint32_t> state;
    pthread_mutex_t mutex;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free,
              "the ready flag must work between processes");

namespace {

bool initialiseSharedMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) {
        return false;
    }
    const bool configured =
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0;
    const bool initialised = configured && pthread_mutex_init(mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return initialised;
}

}  // namespace

namespace {

// Maps a named mutex and makes sure it is initialised; nullptr when that fails.
NamedMutex::Shared* mapSharedMutex(const std::string& posixName) {
    bool created = false;
    void* data = mapNamedObject(posixName, sizeof(NamedMutex::Shared), created);
    if (data == nullptr) {
        return nullptr;
    }
    auto* shared = static_cast<NamedMutex::Shared*>(data);
    // Whoever moves the state from 0 initialises the mutex; everybody else waits until it is
    // ready. Initialisation takes microseconds, so a short bounded wait is enough.
    std::uint32_t expected = 0;
    if (shared->state.compare_exchange_strong(expected, 1)) {
        if (!initialiseSharedMutex(&shared->mutex)) {
            shared->state.store(0);
            munmap(data, sizeof(NamedMutex::Shared));
            return nullptr;
        }
        shared->state.store(2, std::memory_order_release);
        return shared;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (shared->state.load(std::memory_order_acquire) != 2) {
        if (std::chrono::steady_clock::now() > giveUp) {
            munmap(data, sizeof(NamedMutex::Shared));
            errno = ETIMEDOUT;
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return shared;
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::openOrCreate(std::string_view name) {
    // A mutex stays mapped for the life of the process, whoever still refers to it: the kernel
    // finds the mutexes a dying thread held through their addresses, so unmapping a held one
    // would keep it from being recovered. One mapping per name also keeps repeated opens cheap.
    static std::mutex mappingsMutex;
    static std::map<std::string, Shared*> mappings;
    const std::string posixName = sharedObjectName(name);
    std::lock_guard lock(mappingsMutex);
    auto found = mappings.find(posixName);
    if (found == mappings.end()) {
        Shared* shared = mapSharedMutex(posixName);
        if (shared == nullptr) {
            return nullptr;
        }
        found = mappings.emplace(posixName, shared).first;
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(found->second));
}

NamedMutex::~NamedMutex() = default;

bool NamedMutex::lock(std::chrono::milliseconds timeout) {
    const timespec deadline = monotonicDeadline(timeout);
    const int result = pthread_mutex_clocklock(&shared_->mutex, CLOCK_MONOTONIC, &deadline);
    if (result == 0) {
        recovered_ = false;
        return true;
    }
    if (result == EOWNERDEAD) {
        // The holder died while holding it: whatever it guarded is ours to repair; marking the
        // mutex consistent keeps it usable after we release it.
        pthread_mutex_consistent(&shared_->mutex);
        recovered_ = true;
        return true;
    }
    return false;
}

void NamedMutex::unlock() {
    pthread_mutex_unlock(&shared_->mutex);
}

}  // namespace tonalda
