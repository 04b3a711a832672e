#pragma once
// One end-to-end test's world: private home, config, cache and data folders, a hive written by
// the built tonalda-setup (its install folder pointed at the built modules), shared objects of
// its own, and virtual drives from a drive list.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/cli_process.h"
#include "platform/registry.h"
#include "platform/shared_objects.h"
#include "support/temp_dir.h"

namespace tonalda::e2e {

inline const std::string kCliProgram = TONALDA_CLI_PROGRAM;
inline const std::string kSetupProgram = TONALDA_SETUP_PROGRAM;
inline const std::string kMkdiscProgram = TONALDA_MKDISC_PROGRAM;

class CliScratch {
  public:
    explicit CliScratch(const std::string& drives) {
        static std::atomic<int> counter{0};
        prefix_ = "tonalda-e2e-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-";
        const auto root = dir_.path();
        for (const char* folder : {"home", "config/tonalda", "cache", "data"})
            std::filesystem::create_directories(root / folder);
        env_ = {{"HOME", (root / "home").string()},
                {"XDG_CONFIG_HOME", (root / "config").string()},
                {"XDG_CACHE_HOME", (root / "cache").string()},
                {"XDG_DATA_HOME", (root / "data").string()},
                {"TONALDA_HIVE", hive().string()},
                {"TONALDA_SHM_PREFIX", prefix_},
                {"TONALDA_ASPI_LIBRARY", TONALDA_MODULE_DIR "/vdrive/libwnaspi32.so"},
                {"TONALDA_VDRIVE", drives},
                {"TONALDA_CDDB_HOST", ""}};
        setupResult_ = runProcess(kSetupProgram, {}, env_);
        // The modules are used from the build tree, not from an installation.
        Registry(hive())
            .openKey(registryKeyPath("Setup"), RegistryAccess::Write)
            ->writeString("path", TONALDA_MODULE_DIR);
    }
    ~CliScratch() { removeSharedObjectsWithPrefix(prefix_); }
    CliScratch(const CliScratch&) = delete;
    CliScratch& operator=(const CliScratch&) = delete;

    ProcessResult run(const std::vector<std::string>& arguments) const {
        return runProcess(kCliProgram, arguments, env_);
    }
    // The same with the scratch folder as the current folder.
    ProcessResult runInRoot(const std::vector<std::string>& arguments) const {
        return runProcess(kCliProgram, arguments, env_, root().string());
    }
    const Environment& environment() const { return env_; }
    void setEnvironment(const std::string& name, const std::string& value) { env_[name] = value; }

    std::filesystem::path root() const { return dir_.path(); }
    std::filesystem::path hive() const { return dir_ / "config/tonalda/registry.reg"; }
    // The folders the installer's defaults name.
    std::filesystem::path ripFolder() const { return dir_ / "home/Music/Tonalda"; }
    std::filesystem::path encodeFolder() const { return ripFolder() / "Converted"; }
    std::filesystem::path tempFolder() const { return dir_ / "cache/tonalda"; }
    std::filesystem::path libraryFolder() const { return dir_ / "data/tonalda/cdlib"; }
    const ProcessResult& setupResult() const { return setupResult_; }

    // Changes settings in the hive as the settings pages would.
    void setDword(const std::string& group, const std::string& name, std::uint32_t value) {
        Registry(hive())
            .openKey(registryKeyPath(group), RegistryAccess::Write)
            ->writeDword(name, value);
    }
    void setString(const std::string& group, const std::string& name, const std::string& value) {
        Registry(hive())
            .openKey(registryKeyPath(group), RegistryAccess::Write)
            ->writeString(name, value);
    }

  private:
    test::TempDir dir_;
    std::string prefix_;
    Environment env_;
    ProcessResult setupResult_;
};

// Every regular file under folder, as paths relative to it, sorted.
inline std::vector<std::string> filesUnder(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    if (!std::filesystem::exists(folder))
        return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace tonalda::e2e
