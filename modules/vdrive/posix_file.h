#pragma once
// A read-only file descriptor read with pread, so several threads read one file at once.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tonalda::vdrive {

class PosixFile {
  public:
    // Throws DiscError naming the path when it cannot be opened or is not a regular file. A FIFO
    // or a device is refused without waiting for a writer or the device.
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

    // The whole file, at most maxBytes of it; what the path names must be a regular file, refused
    // as PosixFile refuses it. Throws DiscError naming the path and saying what went wrong.
    static std::string readWhole(const std::filesystem::path& path, size_t maxBytes);

  private:
    std::filesystem::path path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace tonalda::vdrive
