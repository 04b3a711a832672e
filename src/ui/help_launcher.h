#pragma once
// The help file: <install folder>/help/Tonalda.html, where the install folder is the Setup
// group's "path" value, opened in the desktop's browser.

#include <QUrl>
#include <filesystem>
#include <functional>
#include <optional>

namespace tonalda {
class Prompter;
class Registry;
}  // namespace tonalda

namespace tonalda::ui {

inline constexpr const char* kOpenRegistryError = "Open Registry error";

// The help file named by the hive, or nullopt when the Setup key or its "path" value cannot be
// read. Thread: any.
std::optional<std::filesystem::path> helpFilePath(Registry& registry);

// Thread: the user interface thread.
class HelpLauncher {
  public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // By default the URL goes to QDesktopServices::openUrl.
    HelpLauncher(Registry& registry, Prompter& prompter, UrlOpener opener = {});

    // Opens the help file, at `section` when one is given. "Open Registry error" when the install
    // folder cannot be read; a message naming the file when it is missing.
    void open(const QString& section = {});

  private:
    Registry& registry_;
    Prompter& prompter_;
    UrlOpener opener_;
};

}  // namespace tonalda::ui
