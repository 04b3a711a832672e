#pragma once
// The "Misc" page: the Misc settings group (folders, first view, CD interface, CD information).

#include "ui/settings/settings_page.h"
#include "ui/settings/settings_widgets.h"

class QCheckBox;
class QRadioButton;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class MiscPage : public SettingsPage {
    Q_OBJECT

  public:
    MiscPage(Registry& registry, const FolderChooser& chooser, QWidget* parent = nullptr);

    void apply() override;

  protected:
    void initialise() override;

  private:
    QWidget* generalGroup(const FolderChooser& chooser);
    QWidget* interfaceGroup();
    QWidget* cdInfoGroup();

    Registry& registry_;
    FolderField* tempFolder_;
    FolderField* libraryFolder_;
    QRadioButton* ripper_;
    QRadioButton* encoder_;
    QRadioButton* autoDetect_;
    QRadioButton* aspi_;
    QRadioButton* passthru_;
    QCheckBox* autoToc_;
    QCheckBox* autoSave_;
    QCheckBox* autoRead_;
};

}  // namespace tonalda::ui
