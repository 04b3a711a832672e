#include "ui/settings/settings_widgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpressionValidator>

namespace tonalda::ui {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool showsChecked(std::int32_t value) {
    return value == 1 || value == 2;
}

void showCheck(QAbstractButton* button, std::int32_t value) {
    button->setChecked(showsChecked(value));
}

std::int32_t checkValue(const QAbstractButton* button) {
    return button->isChecked() ? 1 : 0;
}

QButtonGroup* exclusiveGroup(std::initializer_list<QAbstractButton*> buttons, QObject* owner) {
    auto* group = new QButtonGroup(owner);
    for (QAbstractButton* button : buttons) {
        button->setCheckable(true);
        group->addButton(button);
    }
    return group;
}

QComboBox* dropDownList(std::span<const std::string_view> items) {
    auto* list = new QComboBox;
    list->setEditable(false);
    for (const std::string_view item : items)
        list->addItem(qText(item));
    list->setCurrentIndex(-1);
    return list;
}

void selectPosition(QComboBox* list, std::int32_t position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

std::int32_t listPosition(const QComboBox* list) {
    return list->currentIndex();
}

QLineEdit* numberField() {
    auto* field = new QLineEdit;
    // Digits only while typing, as a number-only edit control; a number set by the page may
    // still carry a sign.
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    return field;
}

void showNumber(QLineEdit* field, std::int32_t value) {
    field->setText(QString::number(value));
}

std::optional<std::int32_t> numberIn(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

QLabel* fieldLabel(const QString& text, QWidget* field) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    field->setAccessibleName(text.trimmed());
    return label;
}

QLabel* noteLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QString chooseFolderWithDialog(QWidget* parent, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select a Folder"), startFolder,
                                             QFileDialog::ShowDirsOnly);
}

FolderField::FolderField(const FolderChooser& chooser, QWidget* parent)
    : QWidget(parent),
      chooser_(chooser),
      list_(new QComboBox),
      change_(new QPushButton(QStringLiteral("Change..."))) {
    list_->setEditable(true);
    // Only "Change..." adds items; Enter in the field must not grow the list.
    list_->setInsertPolicy(QComboBox::NoInsert);
    list_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list_->setMinimumContentsLength(24);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_, 1);
    layout->addWidget(change_);
    connect(change_, &QPushButton::clicked, this, &FolderField::browse);
}

QString FolderField::folder() const {
    return list_->currentText();
}

void FolderField::showFolder(const QString& folder) {
    list_->setEditText(folder);
}

void FolderField::showFolderAsItem(const QString& folder) {
    list_->clear();
    list_->addItem(folder);
    list_->setCurrentIndex(0);
}

void FolderField::browse() {
    const QString chosen = chooser_(window(), folder());
    if (chosen.isEmpty())
        return;
    list_->addItem(chosen);
    list_->setCurrentIndex(list_->count() - 1);
}

}  // namespace tonalda::ui
