#pragma once
// An output file that appears under its final name only when it is complete. It is written under
// a hidden temporary name in the same folder (".<name>.XXXXXX") and renamed over the final name
// by commit(), so that a full disk, a cancel or a killed process never leaves a cut file that a
// player would take for a finished one. Until then an older file of the final name stays as it
// was.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace tonalda {

// Thread: any; one owner.
class PartialFile {
  public:
    // Creates the temporary file beside `finalPath` (empty, readable as a new file would be).
    // nullopt with the reason in `error` when the folder takes no new file.
    static std::optional<PartialFile> create(const std::filesystem::path& finalPath,
                                             std::string& error);
    PartialFile(PartialFile&& other) noexcept;
    PartialFile& operator=(PartialFile&& other) noexcept;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    // Removes the file unless it was committed.
    ~PartialFile() { discard(); }

    // Where the writer writes.
    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& finalPath() const { return finalPath_; }

    // Renames the written file to its final name, replacing a file there (which lends the new
    // file its permissions; a new name gets those of a newly created file). False with the
    // reason in `error` when the rename fails; the temporary file is removed then.
    bool commit(std::string& error);
    // Removes the temporary file now; a file already gone is fine.
    void discard();

  private:
    PartialFile(std::filesystem::path path, std::filesystem::path finalPath, mode_t mode)
        : path_(std::move(path)), finalPath_(std::move(finalPath)), newFileMode_(mode) {}

    std::filesystem::path path_;
    std::filesystem::path finalPath_;
    mode_t newFileMode_ = 0644;
};

}  // namespace tonalda
