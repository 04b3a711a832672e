#include "ui/settings/ogg_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "codecs/ogg_settings.h"
#include "ui/settings/tag_switch_group.h"

namespace tonalda::ui {
namespace {

QString qualityText(int position) {
    std::array<char, 16> buffer{};
    return qText(oggQualityText(position, buffer));
}

}  // namespace

OggPage::OggPage(Registry& registry, QWidget* parent)
    : SettingsPage(QStringLiteral("OGG"), QStringLiteral(":/skin/tab_ogg.svg"), parent),
      registry_(registry),
      sampleRate_(dropDownList(kOggSampleRateItems)),
      channels_(std::make_unique<ChannelChoice>(this)),
      minRate_(dropDownList(kOggBitrateItems)),
      normalRate_(dropDownList(kOggBitrateItems)),
      maxRate_(dropDownList(kOggBitrateItems)),
      vbr_(new QCheckBox(QStringLiteral("Use VBR quality mode"))),
      quality_(new QSlider(Qt::Horizontal)),
      qualityText_(new QLabel(QStringLiteral("0.0"))),
      tags_(new TagSwitchGroup(
          QStringLiteral("Ogg Comment"),
          QStringLiteral("Add the checked items to the comments of output ogg vorbis files"))) {
    quality_->setRange(0, 100);
    quality_->setPageStep(10);
    qualityText_->setAlignment(Qt::AlignCenter);

    auto* lists = new QFormLayout;
    lists->addRow(fieldLabel(QStringLiteral("Sample Rate"), sampleRate_), sampleRate_);
    lists->addRow(fieldLabel(QStringLiteral("Channal"), channels_->buttons), channels_->buttons);
    lists->addRow(fieldLabel(QStringLiteral("Minimal Bitrate"), minRate_), minRate_);
    lists->addRow(fieldLabel(QStringLiteral("Normal Bitrate"), normalRate_), normalRate_);
    lists->addRow(fieldLabel(QStringLiteral("Maxmal Bitrate"), maxRate_), maxRate_);

    auto* scale = new QHBoxLayout;
    scale->addWidget(new QLabel(QStringLiteral("0.0")));
    scale->addWidget(qualityText_, 1);
    scale->addWidget(new QLabel(QStringLiteral("10.0")));
    auto* qualityColumn = new QVBoxLayout;
    qualityColumn->addWidget(vbr_);
    qualityColumn->addWidget(fieldLabel(QStringLiteral("Quality"), quality_));
    qualityColumn->addWidget(quality_);
    qualityColumn->addLayout(scale);
    qualityColumn->addStretch(1);

    auto* encoder = new QGroupBox(QStringLiteral("Encoder Options"));
    auto* columns = new QHBoxLayout(encoder);
    columns->addLayout(lists, 3);
    columns->addSpacing(12);
    columns->addLayout(qualityColumn, 2);
    content()->addWidget(encoder);
    content()->addWidget(tags_);
    content()->addStretch(1);

    connect(vbr_, &QCheckBox::toggled, this, &OggPage::updateEnabling);
    // The value text follows the slider however it moves, so it always shows what Apply stores.
    connect(quality_, &QSlider::valueChanged, this,
            [this](int position) { qualityText_->setText(qualityText(position)); });
}

OggPage::~OggPage() = default;

void OggPage::initialise() {
    const OggSettings& settings = oggSettings();
    showCheck(vbr_, settings.VBR);
    showCheck(channels_->mono, settings.Mono);
    showCheck(channels_->stereo, settings.Stereo);
    selectPosition(maxRate_, settings.Maxrate);
    selectPosition(minRate_, settings.Minrate);
    selectPosition(normalRate_, settings.Normrate);
    selectPosition(sampleRate_, settings.Samplerate);
    tags_->show(settings);
    updateEnabling();
    quality_->setValue(settings.Quality);
    qualityText_->setText(qualityText(quality_->value()));
}

// Quality mode greys the bitrate lists, which keep their selections and are still stored.
void OggPage::updateEnabling() {
    const bool qualityMode = vbr_->isChecked();
    minRate_->setEnabled(!qualityMode);
    normalRate_->setEnabled(!qualityMode);
    maxRate_->setEnabled(!qualityMode);
    quality_->setEnabled(qualityMode);
}

void OggPage::apply() {
    OggSettings& settings = oggSettings();
    tags_->store(settings);
    settings.Mono = checkValue(channels_->mono);
    settings.Stereo = checkValue(channels_->stereo);
    settings.Minrate = listPosition(minRate_);
    settings.Normrate = listPosition(normalRate_);
    settings.Maxrate = listPosition(maxRate_);
    settings.Samplerate = listPosition(sampleRate_);
    settings.Quality = quality_->value();
    settings.VBR = checkValue(vbr_);
    settings.save(registry_);
}

}  // namespace tonalda::ui
