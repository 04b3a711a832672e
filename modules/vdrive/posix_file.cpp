#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "disc.h"

namespace tonalda::vdrive {

PosixFile::PosixFile(const std::filesystem::path& path) : path_(path) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, and a device for
    // its medium; neither is a disc image. Regular files ignore the flag.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        throw DiscError(path.string() + ": cannot open (" + std::strerror(errno) + ")");
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw DiscError(path.string() + ": not a regular file");
    }
    size_ = static_cast<uint64_t>(info.st_size);
}

std::string PosixFile::readWhole(const std::filesystem::path& path, size_t maxBytes) {
    const PosixFile file(path);
    if (file.size() > maxBytes) {
        throw DiscError(path.string() + ": too long (more than " + std::to_string(maxBytes) +
                        " bytes)");
    }
    std::string text(static_cast<size_t>(file.size()), '\0');
    text.resize(file.readAt(0, reinterpret_cast<uint8_t*>(text.data()), text.size()));
    return text;
}

PosixFile::~PosixFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), size_(other.size_) {
    other.fd_ = -1;
}

size_t PosixFile::readAt(uint64_t offset, uint8_t* buffer, size_t size) const {
    size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw DiscError(path_.string() + ": read error at byte " +
                            std::to_string(offset + done) + " (" + std::strerror(errno) + ")");
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace tonalda::vdrive
