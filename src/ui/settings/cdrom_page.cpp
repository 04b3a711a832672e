#include "ui/settings/cdrom_page.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "cdaccess/cdrom_settings.h"
#include "ui/settings/settings_widgets.h"

namespace tonalda::ui {
namespace {
constexpr std::int32_t kResetBlockSize = 26;
constexpr std::int32_t kResetJitterCheck = 1;
constexpr std::int32_t kResetOverlap = 3;
}  // namespace

CdRomPage::CdRomPage(Registry& registry, const CdDriveList& drives, QWidget* parent)
    : SettingsPage(QStringLiteral("CD-Rom"), QStringLiteral(":/skin/tab_cdrom.svg"), parent),
      registry_(registry) {
    content()->addWidget(deviceGroup(drives));
    content()->addWidget(jitterGroup());
    content()->addStretch(1);
}

QWidget* CdRomPage::deviceGroup(const CdDriveList& drives) {
    auto* group = new QGroupBox(QStringLiteral("Device"));
    unit_ = new QComboBox;
    for (const std::string& line : driveListLines(drives))
        unit_->addItem(QString::fromStdString(line));
    unit_->setCurrentIndex(-1);
    type_ = dropDownList(kDriveTypes);
    speed_ = dropDownList(kSpeedChoices);

    auto* form = new QFormLayout(group);
    form->addRow(fieldLabel(QStringLiteral("Unit:"), unit_), unit_);
    form->addRow(fieldLabel(QStringLiteral("Type:"), type_), type_);
    form->addRow(fieldLabel(QStringLiteral("Speed:"), speed_), speed_);
    return group;
}

QWidget* CdRomPage::jitterGroup() {
    auto* group = new QGroupBox(QStringLiteral("Jitter Correction"));
    never_ = new QRadioButton(QStringLiteral("Never"));
    always_ = new QRadioButton(QStringLiteral("Always"));
    onError_ = new QRadioButton(QStringLiteral("On Error"));
    exclusiveGroup({never_, always_, onError_}, this);
    auto* resetButton = new QPushButton(QStringLiteral("Reset"));
    blockSize_ = numberField();
    jitterCheck_ = numberField();
    overlap_ = numberField();

    auto* grid = new QGridLayout(group);
    grid->addWidget(never_, 0, 0);
    grid->addWidget(always_, 0, 1);
    grid->addWidget(onError_, 0, 2);
    grid->addWidget(resetButton, 0, 3, Qt::AlignRight);
    const struct {
        QLineEdit* field;
        const char* label;
        const char* note;
    } rows[] = {
        {blockSize_, "Reading buffer size(frames)",
         "Maximum number of frames that will be read at once. Some drivers can't handle more than "
         "27."},
        {jitterCheck_, "Jitter Check",
         "The number of frames that the program will attempt to match.When using overlapped reads "
         "for Jitter Correction."},
        {overlap_, "Overlap",
         "The number of frames that will be overlapped. When performing jitter correction."},
    };
    int row = 1;
    for (const auto& [field, label, note] : rows) {
        field->setMaximumWidth(
            field->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
        grid->addWidget(fieldLabel(QString::fromUtf8(label), field), row, 0, 1, 2);
        grid->addWidget(field, row, 2, 1, 2);
        grid->addWidget(noteLabel(QString::fromUtf8(note)), row + 1, 0, 1, 4);
        row += 2;
    }
    grid->setColumnStretch(3, 1);

    for (QRadioButton* button : {never_, always_, onError_})
        connect(button, &QRadioButton::toggled, this, &CdRomPage::updateEnabling);
    connect(resetButton, &QPushButton::clicked, this, &CdRomPage::reset);
    return group;
}

void CdRomPage::initialise() {
    const CdRomSettings& settings = cdRomSettings();
    selectPosition(unit_, settings.unit);
    selectPosition(speed_, settings.speed);
    selectPosition(type_, settings.type);
    showCheck(always_, settings.always);
    showCheck(onError_, settings.onError);
    showCheck(never_, settings.never);
    showNumber(blockSize_, settings.blockSize);
    showNumber(jitterCheck_, settings.jitterCheck);
    showNumber(overlap_, settings.overlap);
    updateEnabling();
}

void CdRomPage::reset() {
    showNumber(blockSize_, kResetBlockSize);
    showNumber(jitterCheck_, kResetJitterCheck);
    showNumber(overlap_, kResetOverlap);
    never_->setChecked(true);
    updateEnabling();
}

// Jitter check and overlap mean something only with correction.
void CdRomPage::updateEnabling() {
    const bool correction = !never_->isChecked();
    jitterCheck_->setEnabled(correction);
    overlap_->setEnabled(correction);
}

QLineEdit* CdRomPage::firstInvalidField() const {
    for (QLineEdit* field : {blockSize_, jitterCheck_, overlap_})
        if (!numberIn(field))
            return field;
    return nullptr;
}

void CdRomPage::apply() {
    CdRomSettings& settings = cdRomSettings();
    settings.unit = listPosition(unit_);
    settings.type = listPosition(type_);
    settings.always = checkValue(always_);
    settings.never = checkValue(never_);
    settings.onError = checkValue(onError_);
    settings.speed = listPosition(speed_);
    settings.jitterCheck = numberIn(jitterCheck_).value_or(settings.jitterCheck);
    settings.overlap = numberIn(overlap_).value_or(settings.overlap);
    settings.blockSize = numberIn(blockSize_).value_or(settings.blockSize);
    settings.save(registry_);
}

}  // namespace tonalda::ui
