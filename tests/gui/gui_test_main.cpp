// Runs every widget test class of this folder off screen, against a private hive.

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/installer.h"
#include "gui_test_support.h"
#include "platform/registry.h"
#include "platform/shared_objects.h"
#include "ui/skin.h"

namespace tonalda::test {

std::vector<std::function<std::unique_ptr<QObject>()>>& guiTestClasses() {
    static std::vector<std::function<std::unique_ptr<QObject>()>> classes;
    return classes;
}

const std::filesystem::path& scratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tonalda-gui-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

std::filesystem::path hiveFile() {
    return scratchFolder() / "registry.reg";
}

std::filesystem::path installFolder() {
    return scratchFolder() / "lib" / "tonalda";
}

// The installer's hive, written once (each value is written atomically, which is slow) and
// copied for every test.
const std::string& defaultHiveText() {
    static const std::string text = [] {
        std::filesystem::remove(hiveFile());
        InstallPlace place;
        place.installFolder = installFolder();
        place.home = scratchFolder() / "home";
        place.cacheHome = scratchFolder() / "cache";
        place.dataHome = scratchFolder() / "data";
        place.email = "user@example.org";
        std::ostringstream errors;
        install(Registry::instance(), defaultSettings(place), true, errors);
        std::ifstream in(hiveFile());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    return text;
}

void writeDefaultHive(std::initializer_list<const char*> leftOut) {
    // Drops each left-out group's section: its header line and the values under it.
    std::istringstream in(defaultHiveText());
    std::ostringstream kept;
    std::string line;
    bool dropping = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            dropping = false;
            for (const char* group : leftOut)
                if (line.rfind("[HKEY_LOCAL_MACHINE\\" + registryKeyPath(group) + "]", 0) == 0)
                    dropping = true;
        }
        if (!dropping)
            kept << line << '\n';
    }
    std::ofstream(hiveFile(), std::ios::trunc) << kept.str();
}

int FakePlayer::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace tonalda::test

int main(int argc, char** argv) {
    using namespace tonalda::test;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TONALDA_HIVE", hiveFile().c_str(), 1);
    setenv("TONALDA_SHM_PREFIX", ("tonalda-gui-test-" + std::to_string(getpid()) + "-").c_str(), 1);
    QApplication application(argc, argv);
    tonalda::ui::applySkinStyle(application);
    int failed = 0;
    for (const auto& make : guiTestClasses()) {
        std::unique_ptr<QObject> tests = make();
        failed += QTest::qExec(tests.get(), argc, argv);
    }
    tonalda::removeSharedObjectsWithPrefix(std::getenv("TONALDA_SHM_PREFIX"));
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
    return failed == 0 ? 0 : 1;
}
