#include "platform/user_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace tonalda {
namespace {

std::filesystem::path xdgFolder(const char* variable, std::string_view fallbackBelowHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    return homeFolder() / fallbackBelowHome;
}

}  // namespace

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::filesystem::path xdgConfigHome() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}
std::filesystem::path xdgCacheHome() {
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}
std::filesystem::path xdgDataHome() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

}  // namespace tonalda
