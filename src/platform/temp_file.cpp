#include "platform/temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/text_codec.h"

namespace fs = std::filesystem;

namespace tonalda {
namespace {

constexpr std::size_t kNameLimit = 255;  // bytes of one name on the file systems we write to
constexpr std::string_view kUnique = ".XXXXXX";

}  // namespace

fs::path jobTempFolder(const fs::path& configured) {
    if (!configured.empty())
        return configured;
    std::error_code error;
    const fs::path system = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : system;
}

std::optional<TempFile> TempFile::create(const fs::path& folder, std::string_view stem,
                                         std::string_view suffix, std::string& error) {
    const std::size_t room = kNameLimit - kUnique.size() - std::min(suffix.size(), kNameLimit / 2);
    std::string name = std::string(text::utf8Prefix(stem, room));
    name += kUnique;
    name += suffix;
    std::string pattern = (folder / name).string();
    // mkstemps opens with O_CREAT | O_EXCL and mode 0600.
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        error = "Cannot create file: " + pattern + " (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    ::close(fd);
    return TempFile(fs::path(pattern));
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void removeOwnedFile(fs::path& path) {
    if (path.empty())
        return;
    std::error_code ignored;
    fs::remove(path, ignored);
    path.clear();
}

void TempFile::remove() {
    removeOwnedFile(path_);
}

}  // namespace tonalda
