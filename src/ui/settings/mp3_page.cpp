#include "ui/settings/mp3_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "codecs/mp3_settings.h"
#include "ui/settings/settings_widgets.h"

namespace tonalda::ui {
namespace {

QPushButton* modeButton(const QString& text) {
    auto* button = new QPushButton(text);
    button->setCheckable(true);
    return button;
}

}  // namespace

Mp3Page::Mp3Page(Registry& registry, QWidget* parent)
    : SettingsPage(QStringLiteral("MP3"), QStringLiteral(":/skin/tab_mp3.svg"), parent),
      registry_(registry) {
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(generalGroup());
    left->addWidget(presetGroup());
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(cbrGroup());
    right->addWidget(vbrGroup());
    right->addWidget(abrGroup());
    right->addStretch(1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    content()->addLayout(columns);

    // One choice among the four modes; a second one between the two preset styles.
    exclusiveGroup({enablePreset_, enableCbr_, enableVbr_, enableAbr_}, this);
    exclusiveGroup({newStyle_, oldStyle_}, this);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(enablePreset_), static_cast<QAbstractButton*>(enableCbr_),
          static_cast<QAbstractButton*>(enableVbr_), static_cast<QAbstractButton*>(enableAbr_),
          static_cast<QAbstractButton*>(newStyle_), static_cast<QAbstractButton*>(oldStyle_)})
        connect(button, &QAbstractButton::toggled, this, &Mp3Page::updateEnabling);
    // The rate text follows the slider however it moves (keys and clicks too), so that it always
    // shows the rate that Apply stores.
    connect(abrSlider_, &QSlider::valueChanged, this, [this](int position) {
        abrRate_->setText(QString::number(mp3AbrBitRateFromSlider(position)));
    });
}

QWidget* Mp3Page::generalGroup() {
    auto* group = new QGroupBox(QStringLiteral("General Option"));
    copyright_ = new QCheckBox(QStringLiteral("Enable Copyright"));
    crc_ = new QCheckBox(QStringLiteral("Enable CRC"));
    original_ = new QCheckBox(QStringLiteral("Enable Original"));
    private_ = new QCheckBox(QStringLiteral("Enable Private"));
    vbrHeader_ = new QCheckBox(QStringLiteral("Write Xing VBR Header"));
    sampleRate_ = dropDownList(kMp3SampleRateItems);
    mode_ = dropDownList(kMp3ModeItems);
    resample_ = new QCheckBox(QStringLiteral("Enable ReSample Rate "));

    auto* grid = new QGridLayout(group);
    grid->addWidget(copyright_, 0, 0);
    grid->addWidget(crc_, 0, 1);
    grid->addWidget(original_, 1, 0);
    grid->addWidget(private_, 1, 1);
    grid->addWidget(vbrHeader_, 2, 0, 1, 2);
    grid->addWidget(fieldLabel(QStringLiteral("Sample Rate"), sampleRate_), 3, 0);
    grid->addWidget(sampleRate_, 3, 1);
    grid->addWidget(fieldLabel(QStringLiteral("Stereo Mode "), mode_), 4, 0);
    grid->addWidget(mode_, 4, 1);
    grid->addWidget(resample_, 5, 0, 1, 2);
    return group;
}

QWidget* Mp3Page::presetGroup() {
    auto* group = new QGroupBox(QStringLiteral("Preset Mode"));
    enablePreset_ = modeButton(QStringLiteral("Enable Preset"));
    newStyle_ = new QRadioButton(QStringLiteral("New Style"));
    oldStyle_ = new QRadioButton(QStringLiteral("Old Style"));
    newStyleList_ = dropDownList(kMp3NewStylePresetItems);
    oldStyleList_ = dropDownList(kMp3OldStylePresetItems);
    newStyleList_->setAccessibleName(QStringLiteral("New Style"));
    oldStyleList_->setAccessibleName(QStringLiteral("Old Style"));

    auto* grid = new QGridLayout(group);
    grid->addWidget(enablePreset_, 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(newStyle_, 1, 0);
    grid->addWidget(newStyleList_, 1, 1);
    grid->addWidget(oldStyle_, 2, 0);
    grid->addWidget(oldStyleList_, 2, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* Mp3Page::cbrGroup() {
    auto* group = new QGroupBox(QStringLiteral("CBR Mode"));
    enableCbr_ = modeButton(QStringLiteral("Enable CBR"));
    cbrReservoir_ = new QCheckBox(QStringLiteral("Disable Bit Reservoir"));
    bitRate_ = dropDownList(kMp3ConstantBitrateItems);

    auto* grid = new QGridLayout(group);
    grid->addWidget(enableCbr_, 0, 0);
    grid->addWidget(cbrReservoir_, 0, 1);
    grid->addWidget(fieldLabel(QStringLiteral("Constant Bitrate"), bitRate_), 1, 0);
    grid->addWidget(bitRate_, 1, 1);
    return group;
}

QWidget* Mp3Page::vbrGroup() {
    auto* group = new QGroupBox(QStringLiteral("VBR Mode"));
    enableVbr_ = modeButton(QStringLiteral("Enable VBR"));
    vbrQuality_ = dropDownList(kMp3VbrQualityItems);
    minBitRate_ = dropDownList(kMp3VbrBitrateItems);
    maxBitRate_ = dropDownList(kMp3VbrBitrateItems);

    auto* grid = new QGridLayout(group);
    grid->addWidget(enableVbr_, 0, 0);
    grid->addWidget(fieldLabel(QStringLiteral("VBR Quality"), vbrQuality_), 1, 0);
    grid->addWidget(vbrQuality_, 1, 1);
    grid->addWidget(fieldLabel(QStringLiteral("Min Bitrate"), minBitRate_), 2, 0);
    grid->addWidget(minBitRate_, 2, 1);
    grid->addWidget(fieldLabel(QStringLiteral("Max Bitrate"), maxBitRate_), 3, 0);
    grid->addWidget(maxBitRate_, 3, 1);
    return group;
}

QWidget* Mp3Page::abrGroup() {
    auto* group = new QGroupBox(QStringLiteral("ABR Mode"));
    enableAbr_ = modeButton(QStringLiteral("Enable ABR"));
    abrReservoir_ = new QCheckBox(QStringLiteral("Disable Bit Reservoir"));
    abrSlider_ = new QSlider(Qt::Horizontal);
    abrSlider_->setRange(0, kMp3AbrSliderMax);
    abrSlider_->setSingleStep(1);
    abrSlider_->setPageStep(800);  // 8 kbit/s
    abrRate_ = new QLabel;
    abrRate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    abrRate_->setMinimumWidth(abrRate_->fontMetrics().horizontalAdvance(QStringLiteral("320000")));

    auto* scale = new QHBoxLayout;
    scale->addWidget(new QLabel(QStringLiteral("8K")));
    scale->addWidget(new QLabel(QStringLiteral("Bit/s")));
    scale->addStretch(1);
    scale->addWidget(abrRate_);
    scale->addWidget(new QLabel(QStringLiteral("Bit/s")));
    scale->addStretch(1);
    scale->addWidget(new QLabel(QStringLiteral("320K")));
    scale->addWidget(new QLabel(QStringLiteral("Bit/s")));

    auto* grid = new QGridLayout(group);
    grid->addWidget(enableAbr_, 0, 0);
    grid->addWidget(abrReservoir_, 0, 1);
    grid->addWidget(fieldLabel(QStringLiteral("Average Bit Rate"), abrSlider_), 1, 0, 1, 2);
    grid->addWidget(abrSlider_, 2, 0, 1, 2);
    grid->addLayout(scale, 3, 0, 1, 2);
    return group;
}

void Mp3Page::initialise() {
    const Mp3Settings& settings = mp3Settings();
    showCheck(copyright_, settings.Copyright);
    showCheck(crc_, settings.CRC);
    showCheck(original_, settings.Original);
    showCheck(private_, settings.Private);
    showCheck(vbrHeader_, settings.VBRHeader);
    showCheck(resample_, settings.ReSampleRate);
    selectPosition(sampleRate_, settings.SampleRate);
    selectPosition(mode_, settings.Mode);
    showCheck(cbrReservoir_, settings.CBitResorvoir);
    showCheck(abrReservoir_, settings.ABitResorvoir);
    selectPosition(bitRate_, settings.BitRate);
    selectPosition(vbrQuality_, settings.VBRQuality);
    selectPosition(minBitRate_, settings.MinBitRate);
    selectPosition(maxBitRate_, settings.MaxBitRate);

    showPreset(settings.BPreset, settings.Preset);
    // The mode buttons exclude each other: of several stored modes the last one here shows.
    if (showsChecked(settings.CBR))
        enableCbr_->setChecked(true);
    if (showsChecked(settings.VBR))
        enableVbr_->setChecked(true);
    if (showsChecked(settings.ABR))
        enableAbr_->setChecked(true);
    updateEnabling();

    abrSlider_->setValue(mp3AbrSliderFromBitRate(settings.ABRBitRate));
    abrRate_->setText(QString::number(settings.ABRBitRate));
}

// The stored preset is selected in its style's list even while preset mode is off, so that it
// shows greyed. A preset off both lists leaves the preset area empty.
void Mp3Page::showPreset(std::int32_t bPreset, std::int32_t preset) {
    const bool newStyle = preset >= 0 && preset < kMp3OldStylePresetBase;
    const bool oldStyle =
        preset >= kMp3OldStylePresetBase &&
        preset < kMp3OldStylePresetBase + static_cast<std::int32_t>(kMp3OldStylePresetItems.size());
    if (newStyle) {
        selectPosition(newStyleList_, preset);
        newStyle_->setChecked(true);
    } else if (oldStyle) {
        selectPosition(oldStyleList_, preset - kMp3OldStylePresetBase);
        oldStyle_->setChecked(true);
    }
    if ((newStyle || oldStyle) && showsChecked(bPreset))
        enablePreset_->setChecked(true);
}

void Mp3Page::updateEnabling() {
    const bool preset = enablePreset_->isChecked();
    newStyle_->setEnabled(preset);
    oldStyle_->setEnabled(preset);
    newStyleList_->setEnabled(preset && newStyle_->isChecked());
    oldStyleList_->setEnabled(preset && oldStyle_->isChecked());

    const bool cbr = enableCbr_->isChecked();
    bitRate_->setEnabled(cbr);
    cbrReservoir_->setEnabled(cbr);

    const bool vbr = enableVbr_->isChecked();
    vbrQuality_->setEnabled(vbr);
    minBitRate_->setEnabled(vbr);
    maxBitRate_->setEnabled(vbr);

    const bool abr = enableAbr_->isChecked();
    abrSlider_->setEnabled(abr);
    abrReservoir_->setEnabled(abr);
}

void Mp3Page::apply() {
    Mp3Settings& settings = mp3Settings();
    settings.Copyright = checkValue(copyright_);
    settings.CRC = checkValue(crc_);
    settings.Original = checkValue(original_);
    settings.Private = checkValue(private_);
    settings.ReSampleRate = checkValue(resample_);
    settings.VBRHeader = checkValue(vbrHeader_);
    settings.SampleRate = listPosition(sampleRate_);
    settings.Mode = listPosition(mode_);

    // Preset is written only in preset mode (see Mp3Settings::save). A style without a chosen
    // item keeps the stored preset rather than storing a position off its list.
    settings.BPreset = checkValue(enablePreset_);
    if (enablePreset_->isChecked()) {
        if (newStyle_->isChecked() && listPosition(newStyleList_) >= 0)
            settings.Preset = listPosition(newStyleList_);
        else if (oldStyle_->isChecked() && listPosition(oldStyleList_) >= 0)
            settings.Preset = listPosition(oldStyleList_) + kMp3OldStylePresetBase;
    }

    settings.CBR = checkValue(enableCbr_);
    settings.CBitResorvoir = checkValue(cbrReservoir_);
    settings.BitRate = listPosition(bitRate_);
    settings.VBR = checkValue(enableVbr_);
    settings.VBRQuality = listPosition(vbrQuality_);
    settings.MinBitRate = listPosition(minBitRate_);
    settings.MaxBitRate = listPosition(maxBitRate_);
    settings.ABR = checkValue(enableAbr_);
    settings.ABitResorvoir = checkValue(abrReservoir_);
    settings.ABRBitRate = mp3AbrBitRateFromSlider(abrSlider_->value());
    settings.save(registry_);
}

}  // namespace tonalda::ui
