#pragma once
// A hive with the installer's default settings, written by running the built tonalda-setup, so
// that engine tests read the values a user's installation has without linking the installer.
// The Setup "path" then names the built modules.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry.h"

namespace tonalda::test {

// Writes every default into `hive`, with home, cache and data folders under `home`.
inline void installDefaultSettings(const std::filesystem::path& hive,
                                   const std::filesystem::path& home) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TONALDA_HIVE", hive.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        std::freopen("/dev/null", "w", stdout);
        execl(TONALDA_SETUP_PROGRAM, "tonalda-setup", "--reset", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "tonalda-setup failed";
    auto setup = Registry(hive).openKey(registryKeyPath("Setup"), RegistryAccess::Write);
    ASSERT_TRUE(setup);
    ASSERT_TRUE(setup->writeString("path", TONALDA_MODULE_DIR));
}

}  // namespace tonalda::test
