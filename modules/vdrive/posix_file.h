#pragma once
// A read-only file descriptor read with pread, so several threads read one file at once.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tonalda::vdrive {

class PosixFile {
  public:
    // Throws DiscError naming the path when it cannot be opened.
    explicit PosixFile(const std::filesystem::path& path);
    ~PosixFile();
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&&) = delete;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    uint64_t size() const { return size_; }
    // Reads up to `size` bytes at `offset`, fewer only at the end of the file. Throws DiscError
    // on an I/O error. Thread: any.
    size_t readAt(uint64_t offset, uint8_t* buffer, size_t size) const;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace tonalda::vdrive
