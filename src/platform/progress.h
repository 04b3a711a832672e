#pragma once
// Progress of one piece of work in thousandths (0..1000), reported by the extraction loop and the
// encoders once per block.

#include <cstdint>

namespace tonalda {

// Thread: the worker that does the work. An implementation must not block: it records or queues
// the value and returns.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void progress(int thousandths) = 0;
};

// Reports done / total in thousandths, truncated; nothing without a sink or a total.
inline void reportProgress(ProgressSink* sink, long long done, long long total) {
    if (sink && total > 0)
        sink->progress(
            static_cast<int>(static_cast<double>(done) * 1000.0 / static_cast<double>(total)));
}

}  // namespace tonalda
