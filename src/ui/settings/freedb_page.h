#pragma once
// The "FreeDB" page: the FreeDB settings group (CDDB server, e-mail, HTTP proxy).

#include "ui/settings/settings_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class FreeDbPage : public SettingsPage {
    Q_OBJECT

  public:
    explicit FreeDbPage(Registry& registry, QWidget* parent = nullptr);

    QLineEdit* firstInvalidField() const override;
    void apply() override;

  protected:
    void initialise() override;

  private:
    QWidget* serverGroup();
    QWidget* proxyGroup();
    void updateEnabling();

    Registry& registry_;
    QComboBox* server_;
    QLineEdit* port_;
    QLineEdit* queryScript_;
    QLineEdit* submitScript_;
    QLineEdit* email_;
    QCheckBox* useProxy_;
    QLineEdit* proxyServer_;
    QLineEdit* proxyPort_;
    QCheckBox* authentication_;
    QLineEdit* userName_;
    QLineEdit* password_;
};

}  // namespace tonalda::ui
