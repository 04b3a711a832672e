#include "ui/settings/misc_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "cdinfo/misc_settings.h"

namespace tonalda::ui {

MiscPage::MiscPage(Registry& registry, const FolderChooser& chooser, QWidget* parent)
    : SettingsPage(QStringLiteral("Misc"), QStringLiteral(":/skin/tab_misc.svg"), parent),
      registry_(registry) {
    content()->addWidget(generalGroup(chooser));
    auto* columns = new QHBoxLayout;
    columns->addWidget(interfaceGroup(), 1);
    columns->addWidget(cdInfoGroup(), 1);
    content()->addLayout(columns);
    content()->addStretch(1);
}

QWidget* MiscPage::generalGroup(const FolderChooser& chooser) {
    auto* group = new QGroupBox(QStringLiteral("Genreal Options"));
    tempFolder_ = new FolderField(chooser);
    libraryFolder_ = new FolderField(chooser);
    auto* initialization = new QGroupBox(QStringLiteral("Initialization"));
    ripper_ = new QRadioButton(QStringLiteral("Ripper"));
    encoder_ = new QRadioButton(QStringLiteral("Encoder"));
    exclusiveGroup({ripper_, encoder_}, this);
    auto* views = new QHBoxLayout(initialization);
    views->addWidget(ripper_);
    views->addWidget(encoder_);
    views->addStretch(1);

    auto* form = new QFormLayout(group);
    form->addRow(fieldLabel(QStringLiteral("Temp Folder"), tempFolder_->list()), tempFolder_);
    form->addRow(fieldLabel(QStringLiteral("Local CD Lib Folder"), libraryFolder_->list()),
                 libraryFolder_);
    form->addRow(initialization);
    return group;
}

QWidget* MiscPage::interfaceGroup() {
    auto* group = new QGroupBox(QStringLiteral("Interface"));
    autoDetect_ = new QRadioButton(QStringLiteral("Auto Detected"));
    aspi_ = new QRadioButton(QStringLiteral("External ASPI interface"));
    passthru_ = new QRadioButton(QStringLiteral("Native Win32 interface for WinNT/2000"));
    exclusiveGroup({autoDetect_, aspi_, passthru_}, this);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(autoDetect_);
    layout->addWidget(aspi_);
    layout->addWidget(passthru_);
    layout->addStretch(1);
    return group;
}

QWidget* MiscPage::cdInfoGroup() {
    auto* group = new QGroupBox(QStringLiteral("CD Info"));
    autoToc_ = new QCheckBox(QStringLiteral("Auto Read TOC"));
    autoSave_ = new QCheckBox(QStringLiteral("Auto save CD Info to local CD library "));
    autoRead_ = new QCheckBox(QStringLiteral("Auto read CD Info from local CD library"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(autoToc_);
    layout->addWidget(autoSave_);
    layout->addWidget(autoRead_);
    layout->addStretch(1);
    return group;
}

void MiscPage::initialise() {
    const MiscSettings& settings = miscSettings();
    showCheck(ripper_, settings.initRipper);
    showCheck(encoder_, settings.initEnc);
    showCheck(autoDetect_, settings.autoDetect);
    showCheck(aspi_, settings.aspi);
    showCheck(passthru_, settings.passthru);
    showCheck(autoToc_, settings.toc);
    showCheck(autoSave_, settings.autoSave);
    showCheck(autoRead_, settings.autoRead);
    tempFolder_->showFolder(QString::fromStdString(settings.tempPath));
    libraryFolder_->showFolder(QString::fromStdString(settings.cddbPath));
}

void MiscPage::apply() {
    MiscSettings& settings = miscSettings();
    settings.tempPath = tempFolder_->folder().toStdString();
    settings.cddbPath = libraryFolder_->folder().toStdString();
    settings.autoDetect = checkValue(autoDetect_);
    settings.aspi = checkValue(aspi_);
    settings.passthru = checkValue(passthru_);
    settings.toc = checkValue(autoToc_);
    settings.autoRead = checkValue(autoRead_);
    settings.autoSave = checkValue(autoSave_);
    settings.initEnc = checkValue(encoder_);
    settings.initRipper = checkValue(ripper_);
    settings.save(registry_);
}

}  // namespace tonalda::ui
