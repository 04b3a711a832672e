#pragma once
// The user's folders as the XDG base-directory rules name them.

#include <filesystem>

namespace tonalda {

// $HOME, else the home folder of the password database.
std::filesystem::path homeFolder();
// $XDG_CONFIG_HOME, $XDG_CACHE_HOME, $XDG_DATA_HOME when set to an absolute path, else
// ~/.config, ~/.cache and ~/.local/share.
std::filesystem::path xdgConfigHome();
std::filesystem::path xdgCacheHome();
std::filesystem::path xdgDataHome();

}  // namespace tonalda
