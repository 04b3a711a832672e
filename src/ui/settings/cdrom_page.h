#pragma once
// The "CD-Rom" page: the CDRom settings group. The "Unit:" list shows the drives the engine
// found, virtual ones included.

#include "ui/settings/settings_page.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace tonalda {
class Registry;
struct CdDriveList;
}  // namespace tonalda

namespace tonalda::ui {

class CdRomPage : public SettingsPage {
    Q_OBJECT

  public:
    CdRomPage(Registry& registry, const CdDriveList& drives, QWidget* parent = nullptr);

    QLineEdit* firstInvalidField() const override;
    void apply() override;

  protected:
    void initialise() override;

  private:
    QWidget* deviceGroup(const CdDriveList& drives);
    QWidget* jitterGroup();
    // "Reset": the default jitter parameters without correction. Nothing is saved by it.
    void reset();
    void updateEnabling();

    Registry& registry_;
    QComboBox* unit_;
    QComboBox* type_;
    QComboBox* speed_;
    QRadioButton* never_;
    QRadioButton* always_;
    QRadioButton* onError_;
    QLineEdit* blockSize_;
    QLineEdit* jitterCheck_;
    QLineEdit* overlap_;
};

}  // namespace tonalda::ui
