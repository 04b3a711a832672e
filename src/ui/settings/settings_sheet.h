#pragma once
// The modal "Options" sheet: seven tabs, MP3, WMA, OGG, CD-Rom, Output, FreeDB and Misc, each a
// page over one settings group, with OK, Cancel and Apply.
//
// Use (on the user-interface thread, after playback was stopped):
//
//     SettingsSheet sheet(mainWindow, Registry::instance(), discSession.drives(), &prompter);
//     connect(&sheet, &SettingsSheet::outputSettingsApplied, ...);  // UM_OUTPUT_CHANGED
//     sheet.exec();
//     // then UM_OPTIONS_CLOSED: refresh the rip list from the settings
//
// The pages are views over the process-wide settings records (mp3Settings(), wmaSettings(),
// oggSettings(), cdRomSettings(), outputSettings(), freeDbSettings(), miscSettings()). A page
// fills its controls from its record the first time its tab is shown (MP3 at once). OK and Apply
// first check the digits-only fields of every page shown so far: a field that does not hold an
// integer brings its page to the front with "Please enter an integer." and nothing is written.
// Otherwise each page shown so far, in tab order, writes its group into the registry in the
// group's order and reloads its record; OK then closes the sheet. Cancel (and Escape) closes it
// and writes nothing.

#include <QDialog>
#include <vector>

#include "ui/settings/settings_widgets.h"

class QLineEdit;
class QTabWidget;

namespace tonalda {
class Prompter;
class Registry;
struct CdDriveList;
}  // namespace tonalda

namespace tonalda::ui {

class SettingsPage;

class SettingsSheet : public QDialog {
    Q_OBJECT

  public:
    // registry: the hive the pages write. drives: the engine's drive list for the "Unit:" list;
    // it is read while the sheet is built. prompter: where "Please enter an integer." goes; a
    // message box of the sheet's own when nullptr.
    SettingsSheet(QWidget* parent, Registry& registry, const CdDriveList& drives,
                  Prompter* prompter = nullptr);
    ~SettingsSheet() override;

    // Replaces the desktop's folder browser behind the "Change..." buttons (tests script it).
    void setFolderChooser(FolderChooser chooser);

    // Validates and applies every page shown so far, as the Apply button does; false when a field
    // was refused and nothing was written.
    bool applyPages();

  Q_SIGNALS:
    // The Output page wrote its group and reloaded it: the rip format may have changed. The main
    // window answers it as UM_OUTPUT_CHANGED. Emitted once for each Apply or OK that writes
    // the Output page (one whose tab was shown).
    void outputSettingsApplied();

  private:
    void refuseField(SettingsPage* page, QLineEdit* field);

    FolderChooser folderChooser_;
    Prompter* prompter_;
    QTabWidget* tabs_;
    std::vector<SettingsPage*> pages_;  // in tab order; owned by the tab widget
};

}  // namespace tonalda::ui
