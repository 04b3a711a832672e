#pragma once
// Whole-file reads and atomic replacement under an advisory lock, for the settings files that
// several processes may rewrite at once (the hive, INI files).

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tonalda {

// An exclusive flock on a lock file (created when missing), held for the object's life. The lock
// file is never the data file: that one is replaced by rename, which a lock on it would not cover.
// Thread: any; the lock belongs to the open file, so two threads of one process also exclude
// each other as long as each acquires its own FileLock.
class FileLock {
  public:
    // Blocks until the lock is granted; nullopt (with error set) when the file cannot be opened.
    static std::optional<FileLock> acquire(const std::filesystem::path& lockFile,
                                           std::string& error);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    ~FileLock();

  private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

struct FileContents {
    enum class Status { Read, Missing, Failed };
    Status status = Status::Failed;
    std::string bytes;
    std::string error;  // set when Failed
};

// Thread: any.
FileContents readWholeFile(const std::filesystem::path& file);

// Writes the contents to a temporary file beside the target, flushes it to the disk and renames it
// over the target, so a reader or a crash sees either the old file or the new one. An existing
// target keeps its permission bits, and its owner and group as far as this process may set them;
// a new one gets newFileMode (less the umask when applyUmask). False, with error set, when any step
// fails; the target is then untouched. Thread: any.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           mode_t newFileMode, bool applyUmask, std::string& error);

// The file that a write of path replaces: the target of a symbolic link (followed to its end),
// so that a linked settings file stays linked; path itself otherwise. Thread: any.
std::filesystem::path replacementTarget(const std::filesystem::path& path);

// Removes the temporary files that writers killed mid-write left beside the file. Call it only
// while holding the lock that every writer of the file holds. Thread: any.
void removeStaleTemporaries(const std::filesystem::path& file);

}  // namespace tonalda
