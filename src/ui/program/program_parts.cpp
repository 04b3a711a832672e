#include "ui/program/program_parts.h"

#include "platform/messages.h"
#include "ui/rip/rip_view.h"
#include "ui/settings/settings_sheet.h"

namespace tonalda::ui {

ProgramParts::ProgramParts(Prompter& prompter, CdEngine& engine, Registry& registry)
    : prompter_(prompter),
      engine_(engine),
      registry_(registry),
      disc_(engine, registry, prompter, bridge_.queue()) {}

MainWindowParts ProgramParts::mainWindowParts() {
    MainWindowParts parts;
    parts.prompter = &prompter_;
    parts.openUrl = openUrl;
    parts.makeRipView = [this](MainWindow& window) -> std::unique_ptr<TrackRowsView> {
        return std::make_unique<RipView>(window, RipViewParts{disc_, engine_, registry_, prompter_,
                                                              bridge_, openUrl, chooseFile});
    };
    parts.driveDescription = [this] { return disc_.selectedDriveDescription(); };
    parts.runOptionsSheet = [this](MainWindow& window) {
        disc_.ensureEngine();
        SettingsSheet sheet(&window, registry_, disc_.drives(), &prompter_);
        QObject::connect(&sheet, &SettingsSheet::outputSettingsApplied, &window,
                         [&window] { window.handleMessage(UM_OUTPUT_CHANGED); });
        sheet.exec();
    };
    return parts;
}

}  // namespace tonalda::ui
