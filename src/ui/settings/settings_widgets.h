#pragma once
// Building blocks the settings pages share: drop-down lists filled from the engine's item lists,
// check states from stored numbers, digits-only fields, folder lists with their folder browser.
// Thread: the user-interface thread.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLabel;

namespace tonalda::ui {

QString qText(std::string_view text);

// A stored flag shows checked for 1 and for 2 (the "indeterminate" state a check box can be set
// to); any other value shows unchecked and is therefore saved back as 0.
bool showsChecked(std::int32_t value);
void showCheck(QAbstractButton* button, std::int32_t value);
std::int32_t checkValue(const QAbstractButton* button);  // 1 or 0

// Radio buttons that exclude each other when clicked. Loading may leave none of them checked.
QButtonGroup* exclusiveGroup(std::initializer_list<QAbstractButton*> buttons, QObject* owner);

// A drop-down list without typing, holding the items in order.
QComboBox* dropDownList(std::span<const std::string_view> items);
// Selects a position; a position off the list leaves nothing selected.
void selectPosition(QComboBox* list, std::int32_t position);
// The selected position, -1 when nothing is selected.
std::int32_t listPosition(const QComboBox* list);

// An edit field that takes only digits while typing; its text is read as an integer.
QLineEdit* numberField();
void showNumber(QLineEdit* field, std::int32_t value);
// The field's text as a 32-bit integer; nullopt when it is not one (empty, or too large).
std::optional<std::int32_t> numberIn(const QLineEdit* field);

// A label for a field, which names the field for keyboard users and screen readers.
QLabel* fieldLabel(const QString& text, QWidget* field);
// An explanatory text, wrapped to the width it gets.
QLabel* noteLabel(const QString& text);

// Asks the user for a folder, starting at startFolder; an empty result means cancelled.
using FolderChooser = std::function<QString(QWidget* parent, const QString& startFolder)>;
// The desktop's folder browser titled "Select a Folder", showing folders only.
QString chooseFolderWithDialog(QWidget* parent, const QString& startFolder);

// An editable folder list with its "Change..." button. The button asks for a folder and adds
// the chosen one at the end of the list, selected; cancelling changes nothing.
class FolderField : public QWidget {
  public:
    explicit FolderField(const FolderChooser& chooser, QWidget* parent = nullptr);

    QComboBox* list() const { return list_; }
    QPushButton* changeButton() const { return change_; }

    // The folder the list's edit field holds.
    QString folder() const;
    void showFolder(const QString& folder);
    // The folder as the list's one item and as its text.
    void showFolderAsItem(const QString& folder);

  private:
    void browse();

    const FolderChooser& chooser_;
    QComboBox* list_;
    QPushButton* change_;
};

}  // namespace tonalda::ui
