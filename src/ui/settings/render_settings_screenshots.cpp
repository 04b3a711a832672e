// tonalda-screenshots-settings <folder>: renders the Options sheet with each of its pages to
// settings-<page>@1x.png and settings-<page>@2x.png in <folder>, off screen. The settings are the
// installer's defaults in a scratch hive; the drive list is the demo disc in the virtual drive.
// It runs itself once per pixel ratio, because a process has one scale factor.

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/installer.h"
#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/misc_settings.h"
#include "codecs/mp3_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/output_settings.h"
#include "codecs/wma_settings.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "platform/shared_objects.h"
#include "ui/settings/settings_sheet.h"
#include "ui/skin.h"

namespace {

using namespace tonalda;

int renderAtScale(const char* folder, const char* scale) {
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        setenv("QT_SCALE_FACTOR", scale, 1);
        execl("/proc/self/exe", "tonalda-screenshots-settings", folder, "--scale", scale,
              static_cast<char*>(nullptr));
        std::perror("tonalda-screenshots-settings: restarting itself");
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The installer's values for a made-up user, so that no picture shows this machine's names.
bool loadDefaultSettings(Registry& registry) {
    InstallPlace place{"/usr/lib/tonalda", "/home/user", "/home/user/.cache",
                       "/home/user/.local/share", "user@example.org"};
    for (const DefaultValue& value : defaultSettings(place)) {
        const auto key = registry.createKey(registryKeyPath(value.group));
        if (!key)
            return false;
        if (const auto* number = std::get_if<std::uint32_t>(&value.value))
            key->writeDword(value.name, *number);
        else
            key->writeString(value.name, std::get<std::string>(value.value));
    }
    return mp3Settings().load(registry) && wmaSettings().load(registry) &&
           oggSettings().load(registry) && cdRomSettings().load(registry) &&
           outputSettings().load(registry) && loadFreeDbSettings(registry) &&
           miscSettings().load(registry);
}

// The drives the engine finds, with the demo disc in the virtual drive unless the environment
// names another ASPI module.
CdDriveList findDrives() {
    const std::string shmPrefix = "tonalda-screenshots-" + std::to_string(getpid()) + "-";
    setenv("TONALDA_SHM_PREFIX", shmPrefix.c_str(), 1);
    CdEngineOptions options;
    if (!std::getenv("TONALDA_ASPI_LIBRARY")) {
        options.aspiLibrary = TONALDA_MODULE_DIR "/vdrive/libwnaspi32.so";
        setenv("TONALDA_VDRIVE", TONALDA_SOURCE_DIR "/resources/demo/demo.disc", 0);
    }
    CdDriveList drives{};
    drives.capacity = 8;
    {
        CdEngine engine(options);
        if (engine.initCdEngine())
            engine.enumCdDrives(drives);
    }
    removeSharedObjectsWithPrefix(shmPrefix);
    return drives;
}

int render(const QString& folder, const QString& scale) {
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    Registry registry(scratch.filePath(QStringLiteral("registry.reg")).toStdString());
    if (!loadDefaultSettings(registry)) {
        std::fprintf(stderr, "tonalda-screenshots-settings: the settings could not be loaded\n");
        return 1;
    }
    const CdDriveList drives = findDrives();

    RecordingPrompter prompter;
    ui::SettingsSheet sheet(nullptr, registry, drives, &prompter);
    auto* tabs = sheet.findChild<QTabWidget*>();
    sheet.show();
    for (int index = 0; index < tabs->count(); ++index) {
        tabs->setCurrentIndex(index);
        QApplication::processEvents();
        const QString name = tabs->tabText(index).toLower().remove(QLatin1Char('-'));
        const QString file = folder + QStringLiteral("/settings-%1@%2x.png").arg(name, scale);
        if (!sheet.grab().save(file)) {
            std::fprintf(stderr, "tonalda-screenshots-settings: cannot write %s\n",
                         qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--scale") == 0)) {
        std::fprintf(stderr, "usage: tonalda-screenshots-settings <folder>\n");
        return 2;
    }
    if (argc == 2) {
        if (!QDir().mkpath(QString::fromUtf8(argv[1]))) {
            std::fprintf(stderr, "tonalda-screenshots-settings: cannot make %s\n", argv[1]);
            return 1;
        }
        const int first = renderAtScale(argv[1], "1");
        return first != 0 ? first : renderAtScale(argv[1], "2");
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // The program's look: the skin's palette and fonts (Tahoma from fonts-wine, outside
    // fontconfig, with the desktop's sans-serif behind it).
    ui::applySkinStyle(app);
    return render(QString::fromUtf8(argv[1]), QString::fromUtf8(argv[3]));
}
