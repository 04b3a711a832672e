// The message boxes of the main window, as the program shows them.

#include <QMessageBox>

#include "rip/disc_session.h"
#include "screenshots/scene.h"
#include "ui/main_window.h"
#include "ui/qt_prompter.h"

namespace tonalda::screenshots {

namespace {

const SceneRegistration kInitializationErrorBox("message-initialization-error", [](SceneSetup&) {
    return std::unique_ptr<QWidget>(
        ui::QtPrompter::makeBox(
            {std::string(tonalda::kInitializationError), {}, PromptButtons::Ok, PromptIcon::None},
            nullptr)
            .release());
});

const SceneRegistration kStopAudioBox("message-stop-audio", [](SceneSetup&) {
    return std::unique_ptr<QWidget>(
        ui::QtPrompter::makeBox(
            {ui::kStopAudioQuestion, {}, PromptButtons::OkCancel, PromptIcon::Question}, nullptr)
            .release());
});

}  // namespace

}  // namespace tonalda::screenshots
