#pragma once
// The "OGG" page: the Ogg Vorbis settings group. "Use VBR quality mode" switches between the
// quality slider and the three bitrate lists.

#include "ui/settings/settings_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class TagSwitchGroup;
struct ChannelChoice;

class OggPage : public SettingsPage {
    Q_OBJECT

  public:
    explicit OggPage(Registry& registry, QWidget* parent = nullptr);
    ~OggPage() override;

    void apply() override;

  protected:
    void initialise() override;

  private:
    void updateEnabling();

    Registry& registry_;
    QComboBox* sampleRate_;
    std::unique_ptr<ChannelChoice> channels_;
    QComboBox* minRate_;
    QComboBox* normalRate_;
    QComboBox* maxRate_;
    QCheckBox* vbr_;
    QSlider* quality_;
    QLabel* qualityText_;
    TagSwitchGroup* tags_;
};

}  // namespace tonalda::ui
