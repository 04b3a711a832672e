#pragma once
// The "Output" page: the Output settings group (folders, naming rules, rip format).

#include "ui/settings/settings_page.h"
#include "ui/settings/settings_widgets.h"

class QComboBox;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class OutputPage : public SettingsPage {
    Q_OBJECT

  public:
    OutputPage(Registry& registry, const FolderChooser& chooser, QWidget* parent = nullptr);

    void apply() override;

  Q_SIGNALS:
    // The group was written and reloaded: the rip format may have changed.
    void applied();

  protected:
    void initialise() override;

  private:
    Registry& registry_;
    FolderField* ripFolder_;
    QComboBox* subFolder_;
    QComboBox* fileName_;
    QComboBox* format_;
    FolderField* encodeFolder_;
};

}  // namespace tonalda::ui
