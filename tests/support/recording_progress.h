#pragma once
// A progress sink that records every value, for the tests of whatever reports progress; an
// optional action runs on each value (on the reporting thread), such as stopping the work
// half-way.

#include <functional>
#include <mutex>
#include <vector>

#include "platform/progress.h"

namespace tonalda::test {

class RecordingProgress final : public ProgressSink {
  public:
    explicit RecordingProgress(std::function<void(int)> onEach = {}) : onEach_(std::move(onEach)) {}

    void progress(int thousandths) override {
        {
            std::lock_guard lock(mutex_);
            values_.push_back(thousandths);
        }
        if (onEach_)
            onEach_(thousandths);
    }
    std::vector<int> values() const {
        std::lock_guard lock(mutex_);
        return values_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        values_.clear();
    }

  private:
    std::function<void(int)> onEach_;
    mutable std::mutex mutex_;
    std::vector<int> values_;
};

}  // namespace tonalda::test
