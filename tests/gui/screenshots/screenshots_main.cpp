// tonalda-screenshots OUTPUT_FOLDER [SCENE...]: renders every registered scene (or the named
// ones) off screen to OUTPUT_FOLDER/<scene>@1x.png and @2x.png. A process has one scale factor,
// so the tool runs itself once per pixel ratio.

#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <iostream>

#include "app/installer.h"
#include "cdaccess/cd_engine.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "platform/shared_objects.h"
#include "rip/disc_session.h"
#include "screenshots/scene.h"
#include "ui/job_event_bridge.h"
#include "ui/skin.h"

namespace tonalda::screenshots {

std::vector<Scene>& scenes() {
    static std::vector<Scene> all;
    return all;
}

namespace {

// Message boxes have no place in a screenshot run: say what would have been shown.
class ReportingPrompter final : public Prompter {
  public:
    PromptAnswer ask(const Prompt& prompt) override {
        std::cerr << "tonalda-screenshots: a message box would say: " << prompt.text << "\n";
        ++count;
        return prompt.buttons == PromptButtons::YesNo ||
                       prompt.buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::Yes
                   : PromptAnswer::Ok;
    }
    int count = 0;
};

// A private hive with every default, private shared objects, and the demo disc in a drive.
std::filesystem::path prepareEnvironment() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tonalda-shots-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    const std::filesystem::path scratch = pattern;
    setenv("TONALDA_HIVE", (scratch / "registry.reg").c_str(), 1);
    setenv("TONALDA_SHM_PREFIX", ("tonalda-shots-" + std::to_string(getpid()) + "-").c_str(), 1);
    setenv("TONALDA_ASPI_LIBRARY",
           (std::filesystem::path(TONALDA_MODULE_DIR) / "vdrive" / "libwnaspi32.so").c_str(), 1);
    setenv("TONALDA_VDRIVE",
           TONALDA_SOURCE_DIR "/resources/demo/demo.disc;" TONALDA_SOURCE_DIR
                              "/resources/demo/demo.disc,speed=8",
           1);
    InstallPlace place;
    place.installFolder = scratch / "lib" / "tonalda";
    place.home = scratch / "home";
    place.cacheHome = scratch / "cache";
    place.dataHome = scratch / "data";
    place.email = "user@example.org";
    install(Registry::instance(), defaultSettings(place), true, std::cerr);
    // The encoder modules are the build's.
    Registry::instance()
        .openKey(registryKeyPath("Setup"), RegistryAccess::Write)
        ->writeString("path", TONALDA_MODULE_DIR);
    return scratch;
}

// Runs this program again for each pixel ratio; the child renders.
int renderEachRatio(char** argv) {
    for (const char* ratio : {"1", "2"}) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("QT_SCALE_FACTOR", ratio, 1);
            setenv("TONALDA_SCREENSHOT_CHILD", "1", 1);
            execv("/proc/self/exe", argv);
            _exit(127);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::cerr << "tonalda-screenshots: rendering at ratio " << ratio << " failed\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

}  // namespace tonalda::screenshots

int main(int argc, char** argv) {
    using namespace tonalda::screenshots;
    if (argc < 2) {
        std::cerr << "usage: tonalda-screenshots OUTPUT_FOLDER [SCENE...]\n";
        return 2;
    }
    if (!std::getenv("TONALDA_SCREENSHOT_CHILD"))
        return renderEachRatio(argv);
    const std::filesystem::path scratch = prepareEnvironment();
    QApplication application(argc, argv);
    tonalda::ui::applySkinStyle(application);
    if (!tonalda::ui::SkinFonts::registerTahoma())
        std::cerr << "tonalda-screenshots: Tahoma is not installed (fonts-wine); the desktop's "
                     "sans-serif stands in\n";

    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);
    const qreal ratio = application.primaryScreen()->devicePixelRatio();
    const QStringList wanted = application.arguments().mid(2);
    ReportingPrompter prompter;
    // Only asked for the drive's description: the scenes' windows read the disc themselves.
    tonalda::ui::JobEventBridge events;
    tonalda::DiscSession drives(tonalda::cdEngine(), tonalda::Registry::instance(), prompter,
                                events.queue());
    SceneSetup setup{scratch, prompter, [&drives] { return drives.selectedDriveDescription(); }};
    int failures = 0;
    for (const Scene& scene : scenes()) {
        const QString name = QString::fromStdString(scene.name);
        if (!wanted.isEmpty() && !wanted.contains(name))
            continue;
        std::unique_ptr<QWidget> widget = scene.make(setup);
        widget->show();
        QTest::qWait(50);
        const QString file = QStringLiteral("%1/%2@%3x.png").arg(output, name).arg(ratio);
        if (!widget->grab().save(file)) {
            std::cerr << "tonalda-screenshots: cannot write " << file.toStdString() << "\n";
            ++failures;
        } else {
            std::cout << file.toStdString() << "\n";
        }
    }
    tonalda::removeSharedObjectsWithPrefix(std::getenv("TONALDA_SHM_PREFIX"));
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return failures == 0 && prompter.count == 0 ? 0 : 1;
}
