#pragma once
// The process-wide cancel byte: cleared when a job starts, set by Cancel, polled by the extraction
// loop and the encoders between blocks.

#include <atomic>
#include <cstdint>

namespace tonalda {

// Thread: any.
inline std::atomic<std::uint8_t>& cancelFlag() {
    static std::atomic<std::uint8_t> flag{0};
    return flag;
}

}  // namespace tonalda
