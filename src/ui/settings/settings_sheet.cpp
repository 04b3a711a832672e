#include "ui/settings/settings_sheet.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/prompter.h"
#include "ui/settings/cdrom_page.h"
#include "ui/settings/freedb_page.h"
#include "ui/settings/misc_page.h"
#include "ui/settings/mp3_page.h"
#include "ui/settings/ogg_page.h"
#include "ui/settings/output_page.h"
#include "ui/settings/wma_page.h"

namespace tonalda::ui {
namespace {
constexpr char kNotAnInteger[] = "Please enter an integer.";
}

SettingsSheet::SettingsSheet(QWidget* parent, Registry& registry, const CdDriveList& drives,
                             Prompter* prompter)
    : QDialog(parent),
      folderChooser_(chooseFolderWithDialog),
      prompter_(prompter),
      tabs_(new QTabWidget) {
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    // The pages' font, falling back to the desktop's for what it lacks.
    QFont pageFont = font();
    pageFont.setFamilies({QStringLiteral("Tahoma"), pageFont.family()});
    pageFont.setPointSize(8);
    setFont(pageFont);

    auto* mp3 = new Mp3Page(registry);
    auto* cdRom = new CdRomPage(registry, drives);
    auto* output = new OutputPage(registry, folderChooser_);
    auto* freeDb = new FreeDbPage(registry);
    auto* misc = new MiscPage(registry, folderChooser_);
    auto* wma = new WmaPage(registry);
    auto* ogg = new OggPage(registry);
    pages_ = {mp3, wma, ogg, cdRom, output, freeDb, misc};

    tabs_->setIconSize(QSize(14, 14));
    for (SettingsPage* page : pages_)
        tabs_->addTab(page, page->icon(), page->caption());
    tabs_->setCurrentIndex(0);
    mp3->ensureInitialised();
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int index) { pages_.at(static_cast<std::size_t>(index))->ensureInitialised(); });
    connect(output, &OutputPage::applied, this, &SettingsSheet::outputSettingsApplied);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (applyPages())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &SettingsSheet::applyPages);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}

// The tab widget outlives this object's members while Qt deletes the children: it must not reach
// pages_ through the connection any more.
SettingsSheet::~SettingsSheet() {
    disconnect(tabs_, nullptr, this, nullptr);
}

void SettingsSheet::setFolderChooser(FolderChooser chooser) {
    folderChooser_ = std::move(chooser);
}

bool SettingsSheet::applyPages() {
    for (SettingsPage* page : pages_) {
        if (!page->isInitialised())
            continue;
        if (QLineEdit* field = page->firstInvalidField()) {
            refuseField(page, field);
            return false;
        }
    }
    for (SettingsPage* page : pages_)
        if (page->isInitialised())
            page->apply();
    return true;
}

void SettingsSheet::refuseField(SettingsPage* page, QLineEdit* field) {
    tabs_->setCurrentWidget(page);
    if (prompter_)
        prompter_->tell(kNotAnInteger, PromptIcon::Warning);
    else
        QMessageBox::warning(this, QStringLiteral("Tonalda"), QString::fromUtf8(kNotAnInteger));
    field->setFocus();
    field->selectAll();
}

}  // namespace tonalda::ui
