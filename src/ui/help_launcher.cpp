#include "ui/help_launcher.h"

#include <QDesktopServices>

#include "platform/prompter.h"
#include "platform/registry.h"

namespace tonalda::ui {

std::optional<std::filesystem::path> helpFilePath(Registry& registry) {
    const auto key = registry.openKey(registryKeyPath("Setup"), RegistryAccess::Read);
    if (!key)
        return std::nullopt;
    const std::optional<std::string> folder = key->readString("path");
    if (!folder)
        return std::nullopt;
    return std::filesystem::path(*folder) / "help" / "Tonalda.html";
}

HelpLauncher::HelpLauncher(Registry& registry, Prompter& prompter, UrlOpener opener)
    : registry_(registry), prompter_(prompter), opener_(std::move(opener)) {
    if (!opener_)
        opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void HelpLauncher::open(const QString& section) {
    const std::optional<std::filesystem::path> file = helpFilePath(registry_);
    if (!file) {
        prompter_.tell(kOpenRegistryError);
        return;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(*file, error)) {
        prompter_.tell(
            "The help file " + file->string() + " is missing. Please reinstall Tonalda again!",
            PromptIcon::Warning);
        return;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(file->string()));
    if (!section.isEmpty())
        url.setFragment(section);
    opener_(url);
}

}  // namespace tonalda::ui
