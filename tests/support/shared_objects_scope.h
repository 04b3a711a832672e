#pragma once
// Named shared objects (session table, drive locks) of one test: a private name prefix while the
// scope lives, then the objects are removed and the prefix the process had is put back.

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/shared_objects.h"

namespace tonalda::test {

class SharedObjectsScope {
  public:
    explicit SharedObjectsScope(const std::string& tag) {
        static std::atomic<int> counter{0};
        prefix_ = "tonalda-test-" + tag + "-" + std::to_string(getpid()) + "-" +
                  std::to_string(counter++) + "-";
        if (const char* outer = std::getenv("TONALDA_SHM_PREFIX"))
            outerPrefix_ = outer;
        setenv("TONALDA_SHM_PREFIX", prefix_.c_str(), 1);
    }
    ~SharedObjectsScope() {
        removeSharedObjectsWithPrefix(prefix_);
        if (outerPrefix_)
            setenv("TONALDA_SHM_PREFIX", outerPrefix_->c_str(), 1);
        else
            unsetenv("TONALDA_SHM_PREFIX");
    }
    SharedObjectsScope(const SharedObjectsScope&) = delete;
    SharedObjectsScope& operator=(const SharedObjectsScope&) = delete;

    const std::string& prefix() const { return prefix_; }

  private:
    std::string prefix_;
    std::optional<std::string> outerPrefix_;
};

// A private copy of the built virtual drive module in `folder`: a module reads its drive list
// ($TONALDA_VDRIVE) once, so each drive list needs a module instance of its own.
inline std::filesystem::path copyVirtualDriveModule(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / "libwnaspi32.so";
    std::filesystem::copy_file(
        std::filesystem::path(TONALDA_MODULE_DIR) / "vdrive" / "libwnaspi32.so", copy);
    return copy;
}

}  // namespace tonalda::test
