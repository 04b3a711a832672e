#pragma once
// A CD engine over virtual drives of the test's own: the virtual drive module is copied into the
// test's scratch folder and loaded from there, so that it reads this test's $TONALDA_VDRIVE
// whatever other tests of the process loaded before. Session table and locks get a private name
// prefix, removed when the test ends.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cdaccess/cd_engine.h"
#include "platform/shared_objects.h"
#include "rip/temp_dir.h"

namespace tonalda::test {

class VirtualDriveTest : public ::testing::Test {
  protected:
    // Starts an engine whose drives are the ';'-separated virtual drive list.
    void startEngine(const std::string& drives) {
        static std::atomic<int> counter{0};
        prefix_ =
            "tonalda-test-rip-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-";
        setenv("TONALDA_SHM_PREFIX", prefix_.c_str(), 1);
        setenv("TONALDA_VDRIVE", drives.c_str(), 1);

        const std::filesystem::path module = TONALDA_MODULE_DIR "/vdrive/libwnaspi32.so";
        ASSERT_TRUE(std::filesystem::exists(module)) << module << " is not built";
        const std::filesystem::path copy = dir_ / "libwnaspi32.so";
        std::filesystem::copy_file(module, copy);

        CdEngineOptions options;
        options.aspiLibrary = copy.string();
        engine_ = std::make_unique<CdEngine>(options);
        ASSERT_TRUE(engine_->initCdEngine());
        ASSERT_EQ(engine_->activeTransport(), ActiveTransport::Aspi);
        std::memset(&drives_, 0, sizeof drives_);
        drives_.capacity = 8;
        engine_->enumCdDrives(drives_);
    }

    void TearDown() override {
        engine_.reset();
        if (!prefix_.empty())
            removeSharedObjectsWithPrefix(prefix_);
        unsetenv("TONALDA_SHM_PREFIX");
        unsetenv("TONALDA_VDRIVE");
    }

    TempDir dir_;
    std::string prefix_;
    std::unique_ptr<CdEngine> engine_;
    CdDriveList drives_{};
};

}  // namespace tonalda::test
