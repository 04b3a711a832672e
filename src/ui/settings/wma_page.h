#pragma once
// The "WMA" page: the WMA settings group.

#include "ui/settings/settings_page.h"

class QCheckBox;
class QComboBox;

namespace tonalda {
class Registry;
}

namespace tonalda::ui {

class TagSwitchGroup;
struct ChannelChoice;

class WmaPage : public SettingsPage {
    Q_OBJECT

  public:
    explicit WmaPage(Registry& registry, QWidget* parent = nullptr);
    ~WmaPage() override;

    void apply() override;

  protected:
    void initialise() override;

  private:
    Registry& registry_;
    QComboBox* sampleRate_;
    std::unique_ptr<ChannelChoice> channels_;
    QComboBox* bitRate_;
    QCheckBox* drm_;
    TagSwitchGroup* tags_;
};

}  // namespace tonalda::ui
