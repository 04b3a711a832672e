#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tonalda {
namespace {

std::string temporaryPrefix(const std::filesystem::path& file) {
    return "." + file.filename().string() + ".tmp.";
}

std::string describe(std::string_view what, const std::filesystem::path& file, int err) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(err);
}

// Closes a descriptor when it goes out of scope.
class ScopedFd {
  public:
    explicit ScopedFd(int fd) : fd_(fd) {}
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a late write error shows up here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::optional<FileLock> FileLock::acquire(const std::filesystem::path& lockFile,
                                          std::string& error) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = describe("cannot open the lock file", lockFile, errno);
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = describe("cannot lock", lockFile, errno);
            ::close(fd);
            return std::nullopt;
        }
    }
    return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        ::close(fd_);  // closing the last descriptor releases the flock
}

FileContents readWholeFile(const std::filesystem::path& file) {
    FileContents result;
    ScopedFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            result.status = FileContents::Status::Missing;
        } else {
            result.error = describe("cannot open", file, errno);
        }
        return result;
    }
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = describe("cannot read", file, errno);
            return result;
        }
        if (got == 0)
            break;
        result.bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    result.status = FileContents::Status::Read;
    return result;
}

bool replaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           mode_t newFileMode, bool applyUmask, std::string& error) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / (temporaryPrefix(file) + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    ScopedFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        error = describe("cannot create a temporary file in", folder, errno);
        return false;
    }
    const std::filesystem::path temporary(name.data());
    const auto fail = [&](std::string_view what, const std::filesystem::path& where) {
        error = describe(what, where, errno);
        ::unlink(temporary.c_str());
        return false;
    };

    struct stat existing {};
    mode_t mode = applyUmask ? (newFileMode & ~currentUmask()) : newFileMode;
    if (::stat(file.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
        // The replaced file's owner and group too, as far as this process may give them: a file
        // shared through its group stays shared. Before the mode, which a change of owner resets.
        if (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0)
            static_cast<void>(::fchown(fd.get(), static_cast<uid_t>(-1), existing.st_gid));
    }
    if (::fchmod(fd.get(), mode) != 0)
        return fail("cannot set the permissions of", temporary);
    if (!writeAll(fd.get(), contents))
        return fail("cannot write", temporary);
    if (::fsync(fd.get()) != 0)
        return fail("cannot flush", temporary);
    if (!fd.close())
        return fail("cannot close", temporary);
    if (::rename(temporary.c_str(), file.c_str()) != 0)
        return fail("cannot replace", file);
    // The rename itself reaches the disk with the folder's entry.
    ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

std::filesystem::path replacementTarget(const std::filesystem::path& path) {
    std::filesystem::path target = path;
    std::error_code error;
    // A link may point at a file that does not exist yet; a loop of links ends the search.
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(target, error); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            return path;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

void removeStaleTemporaries(const std::filesystem::path& file) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const std::string prefix = temporaryPrefix(file);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        // mkostemp adds exactly six characters to the prefix.
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix))
            std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace tonalda
