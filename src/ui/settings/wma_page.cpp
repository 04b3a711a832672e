#include "ui/settings/wma_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>

#include "codecs/wma_settings.h"
#include "ui/settings/tag_switch_group.h"

namespace tonalda::ui {

WmaPage::WmaPage(Registry& registry, QWidget* parent)
    : SettingsPage(QStringLiteral("WMA"), QStringLiteral(":/skin/tab_wma.svg"), parent),
      registry_(registry),
      sampleRate_(dropDownList(kWmaSampleRateItems)),
      channels_(std::make_unique<ChannelChoice>(this)),
      bitRate_(dropDownList(kWmaBitrateItems)),
      drm_(new QCheckBox(QStringLiteral("Enable Digital Rights Management (DRM)"))),
      tags_(new TagSwitchGroup(
          QStringLiteral("WMA attribute"),
          QStringLiteral("Add the checked items to the attributes of output WMA files"))) {
    auto* encoder = new QGroupBox(QStringLiteral("Encoder Option"));
    auto* form = new QFormLayout(encoder);
    form->addRow(fieldLabel(QStringLiteral("Sample Rate"), sampleRate_), sampleRate_);
    form->addRow(fieldLabel(QStringLiteral("Channal"), channels_->buttons), channels_->buttons);
    form->addRow(fieldLabel(QStringLiteral("Bit Rate"), bitRate_), bitRate_);
    form->addRow(drm_);
    content()->addWidget(encoder);
    content()->addWidget(tags_);
    content()->addStretch(1);
}

WmaPage::~WmaPage() = default;

void WmaPage::initialise() {
    const WmaSettings& settings = wmaSettings();
    showCheck(drm_, settings.DRM);
    showCheck(channels_->mono, settings.Mono);
    showCheck(channels_->stereo, settings.Stereo);
    selectPosition(bitRate_, settings.Bitrate);
    selectPosition(sampleRate_, settings.Samplerate);
    tags_->show(settings);
}

void WmaPage::apply() {
    WmaSettings& settings = wmaSettings();
    tags_->store(settings);
    settings.DRM = checkValue(drm_);
    settings.Mono = checkValue(channels_->mono);
    settings.Stereo = checkValue(channels_->stereo);
    settings.Bitrate = listPosition(bitRate_);
    settings.Samplerate = listPosition(sampleRate_);
    settings.save(registry_);
}

}  // namespace tonalda::ui
