#pragma once
// The "MP3" page: the MP3 settings group. Four push-like mode buttons choose preset, CBR, VBR or
// ABR mode and enable only the chosen mode's controls.

#include "ui/settings/settings_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class Mp3Page : public SettingsPage {
    Q_OBJECT

  public:
    explicit Mp3Page(Registry& registry, QWidget* parent = nullptr);

    void apply() override;

  protected:
    void initialise() override;

  private:
    QWidget* generalGroup();
    QWidget* presetGroup();
    QWidget* cbrGroup();
    QWidget* vbrGroup();
    QWidget* abrGroup();
    void showPreset(std::int32_t bPreset, std::int32_t preset);
    void updateEnabling();

    Registry& registry_;

    QCheckBox* copyright_;
    QCheckBox* crc_;
    QCheckBox* original_;
    QCheckBox* private_;
    QCheckBox* vbrHeader_;
    QCheckBox* resample_;
    QComboBox* sampleRate_;
    QComboBox* mode_;

    QPushButton* enablePreset_;
    QRadioButton* newStyle_;
    QRadioButton* oldStyle_;
    QComboBox* newStyleList_;
    QComboBox* oldStyleList_;

    QPushButton* enableCbr_;
    QCheckBox* cbrReservoir_;
    QComboBox* bitRate_;

    QPushButton* enableVbr_;
    QComboBox* vbrQuality_;
    QComboBox* minBitRate_;
    QComboBox* maxBitRate_;

    QPushButton* enableAbr_;
    QCheckBox* abrReservoir_;
    QSlider* abrSlider_;
    QLabel* abrRate_;
};

}  // namespace tonalda::ui
