#pragma once
// A CD engine over virtual drives of the test's own: the virtual drive module is copied into the
// test's scratch folder and loaded from there, so that it reads this test's $TONALDA_VDRIVE
// whatever other tests of the process loaded before. Session table and locks get a private name
// prefix, removed when the test ends.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cdaccess/cd_engine.h"
#include "support/shared_objects_scope.h"
#include "support/temp_dir.h"

namespace tonalda::test {

class VirtualDriveTest : public ::testing::Test {
  protected:
    // Starts an engine whose drives are the ';'-separated virtual drive list.
    void startEngine(const std::string& drives) {
        sharedObjects_.emplace("vd");
        setenv("TONALDA_VDRIVE", drives.c_str(), 1);
        const std::filesystem::path copy = copyVirtualDriveModule(dir_.path());

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
        sharedObjects_.reset();
        unsetenv("TONALDA_VDRIVE");
    }

    TempDir dir_;
    std::unique_ptr<CdEngine> engine_;
    CdDriveList drives_{};

  private:
    std::optional<SharedObjectsScope> sharedObjects_;
};

}  // namespace tonalda::test
