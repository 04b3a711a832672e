#include "platform/temp_file.h"

#include <system_error>

namespace fs = std::filesystem;

namespace tonalda {

fs::path jobTempFolder(const fs::path& configured) {
    if (!configured.empty())
        return configured;
    std::error_code error;
    const fs::path system = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : system;
}

}  // namespace tonalda
