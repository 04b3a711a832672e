// tonalda: the desktop program. One skinned main window for the life of the process.

#include <QApplication>
#include <QScreen>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "platform/registry.h"
#include "ui/main_window.h"
#include "ui/program_window.h"
#include "ui/qt_prompter.h"
#include "ui/settings/settings_sheet.h"
#include "ui/skin.h"

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A platform chosen by hand (offscreen, vnc, ...) needs no display of the desktop's.
bool hasDisplay() {
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    if (!hasDisplay()) {
        std::cerr << "tonalda: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                     "unset). tonalda-cli offers the program's commands without a window.\n";
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tonalda"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tonalda"));
    QApplication::setDesktopFileName(QStringLiteral("com.quarrowind.Tonalda"));
    tonalda::ui::applySkinStyle(application);

    tonalda::ui::QtPrompter prompter;
    // Network code writes to sockets that a server may close: that must fail the write, not end
    // the program.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        prompter.tell("Windows sockets initialization failed.");
        return 1;
    }

    tonalda::ui::ProgramHooks hooks;
    hooks.runOptionsSheet = [&prompter](tonalda::ui::MainWindow& shown,
                                        const tonalda::CdDriveList& drives) {
        tonalda::ui::SettingsSheet sheet(&shown, tonalda::Registry::instance(), drives, &prompter);
        QObject::connect(&sheet, &tonalda::ui::SettingsSheet::outputSettingsApplied, &shown,
                         [&shown] { shown.handleMessage(tonalda::UM_OUTPUT_CHANGED); });
        sheet.exec();
    };
    tonalda::ui::ProgramWindow window(prompter, std::move(hooks));
    prompter.setParentWindow(&window);
    // A frameless window gets no placement from some window managers: start in the middle.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return application.exec();
}
