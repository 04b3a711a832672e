#pragma once
// Where jobs keep their temporary files, and the files themselves: each one private to its job,
// made under a name nobody else holds, and removed on every way out of the job.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tonalda {

// The temporary folder of a job: the configured one ("Temppath"), or the system's when it is
// empty. Thread: any.
std::filesystem::path jobTempFolder(const std::filesystem::path& configured);

// Removes the file `path` names, if it names one, and clears `path`: the end of an owned
// temporary file. A file already gone is fine. Thread: any.
void removeOwnedFile(std::filesystem::path& path);

// A temporary file created anew (O_EXCL, readable by its owner only) as
// folder/<stem>.XXXXXX<suffix> with a unique XXXXXX, so that two jobs, in one process or two,
// sharing the folder never touch each other's files. It is removed when the object goes.
// Thread: any; one owner.
class TempFile {
  public:
    // The file, or nullopt with the reason in `error`. A long stem is shortened so that the name
    // fits the file system.
    static std::optional<TempFile> create(const std::filesystem::path& folder,
                                          std::string_view stem, std::string_view suffix,
                                          std::string& error);
    TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TempFile& operator=(TempFile&& other) noexcept;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { remove(); }

    const std::filesystem::path& path() const { return path_; }
    // Removes the file now; a file already gone is fine.
    void remove();

  private:
    explicit TempFile(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

}  // namespace tonalda
