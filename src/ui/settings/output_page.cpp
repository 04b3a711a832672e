#include "ui/settings/output_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "codecs/output_settings.h"
#include "rip/output_naming.h"

namespace tonalda::ui {
OutputPage::OutputPage(Registry& registry, const FolderChooser& chooser, QWidget* parent)
    : SettingsPage(QStringLiteral("Output"), QStringLiteral(":/skin/tab_output.svg"), parent),
      registry_(registry),
      ripFolder_(new FolderField(chooser)),
      subFolder_(dropDownList(kSubFolderRuleLabels)),
      fileName_(dropDownList(kFileNameRuleLabels)),
      format_(dropDownList(kOutputFormatListItems)),
      encodeFolder_(new FolderField(chooser)) {
    auto* ripper = new QGroupBox(QStringLiteral("CD Ripper Options"));
    auto* ripperForm = new QFormLayout(ripper);
    ripperForm->addRow(noteLabel(QStringLiteral(
        "Select a directory to save CD Ripper output files.\n"
        "Files and subdirectory can be created according to the rename rule,in which <artist> "
        "stands for artist's name and so on. ")));
    ripperForm->addRow(fieldLabel(QStringLiteral("Output Folder"), ripFolder_->list()), ripFolder_);
    ripperForm->addRow(fieldLabel(QStringLiteral("Sub-Folder:"), subFolder_), subFolder_);
    ripperForm->addRow(fieldLabel(QStringLiteral("Filename:"), fileName_), fileName_);
    ripperForm->addRow(fieldLabel(QStringLiteral("Output Format"), format_), format_);

    auto* encoder = new QGroupBox(QStringLiteral("Encoder Options"));
    auto* encoderForm = new QFormLayout(encoder);
    encoderForm->addRow(
        noteLabel(QStringLiteral("Select a directory to save the Encoder output files")));
    encoderForm->addRow(fieldLabel(QStringLiteral("Output Folder"), encodeFolder_->list()),
                        encodeFolder_);

    content()->addWidget(ripper);
    content()->addWidget(encoder);
    content()->addStretch(1);
}

void OutputPage::initialise() {
    const OutputSettings& settings = outputSettings();
    ripFolder_->showFolderAsItem(QString::fromStdString(settings.ripFolder));
    encodeFolder_->showFolderAsItem(QString::fromStdString(settings.encodeFolder));
    selectPosition(subFolder_, settings.subFolderRule);
    selectPosition(fileName_, settings.fileNameRule);
    selectPosition(format_, settings.format);
}

void OutputPage::apply() {
    OutputSettings& settings = outputSettings();
    settings.ripFolder = ripFolder_->folder().toStdString();
    settings.encodeFolder = encodeFolder_->folder().toStdString();
    settings.subFolderRule = listPosition(subFolder_);
    settings.fileNameRule = listPosition(fileName_);
    settings.format = listPosition(format_);
    bool changed = false;
    settings.save(registry_, [&changed] { changed = true; });
    if (changed)
        Q_EMIT applied();
}

}  // namespace tonalda::ui
