#include "platform/partial_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/temp_file.h"
#include "platform/text_codec.h"

namespace fs = std::filesystem;

namespace tonalda {
namespace {

constexpr std::size_t kNameLimit = 255;  // bytes of one name on the file systems we write to
constexpr std::size_t kUniqueCharacters = 6;
constexpr int kAttempts = 100;

std::string uniqueSuffix() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(kUniqueCharacters, ' ');
    for (char& c : suffix)
        c = kAlphabet[pick(generator)];
    return suffix;
}

std::string reason(int error) {
    return std::strerror(error);
}

}  // namespace

std::optional<PartialFile> PartialFile::create(const fs::path& finalPath, std::string& error) {
    // ".<name>.XXXXXX": hidden, and without the final extension, so that nothing takes it for
    // a finished file. A long name is shortened here only; the final name stays as it is.
    const std::string name = finalPath.filename().string();
    const std::string_view kept = text::utf8Prefix(name, kNameLimit - 2 - kUniqueCharacters);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        fs::path path = finalPath.parent_path() / ("." + std::string(kept) + "." + uniqueSuffix());
        // Mode 0666 less the umask: the permissions a newly created output gets.
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = "Cannot create the output file " + finalPath.string() + ": " + reason(errno);
            return std::nullopt;
        }
        struct stat status {};
        const mode_t mode = ::fstat(fd, &status) == 0 ? status.st_mode & 07777 : 0644;
        ::close(fd);
        return PartialFile(std::move(path), finalPath, mode);
    }
    error = "Cannot create the output file " + finalPath.string() + ": " + reason(EEXIST);
    return std::nullopt;
}

PartialFile::PartialFile(PartialFile&& other) noexcept
    : path_(std::move(other.path_)),
      finalPath_(std::move(other.finalPath_)),
      newFileMode_(other.newFileMode_) {
    other.path_.clear();
}

PartialFile& PartialFile::operator=(PartialFile&& other) noexcept {
    if (this != &other) {
        discard();
        path_ = std::move(other.path_);
        finalPath_ = std::move(other.finalPath_);
        newFileMode_ = other.newFileMode_;
        other.path_.clear();
    }
    return *this;
}

bool PartialFile::commit(std::string& error) {
    if (path_.empty()) {
        error = "Cannot write the output file " + finalPath_.string() + ": " + reason(ENOENT);
        return false;
    }
    // A file being replaced keeps its permissions, as it would when written over in place.
    struct stat existing {};
    const mode_t mode = ::lstat(finalPath_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? existing.st_mode & 07777
                            : newFileMode_;
    if (::chmod(path_.c_str(), mode) != 0 || ::rename(path_.c_str(), finalPath_.c_str()) != 0) {
        error = "Cannot write the output file " + finalPath_.string() + ": " + reason(errno);
        discard();
        return false;
    }
    path_.clear();
    return true;
}

void PartialFile::discard() {
    removeOwnedFile(path_);
}

}  // namespace tonalda
