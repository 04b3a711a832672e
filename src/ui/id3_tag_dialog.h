#pragma once
// The ID3 editor "ID3 Tag": edits one tag record in place, its version 1 and version 2 field sets
// each behind a check box that says whether that version is written. The rip view opens it for a
// track, the convert view for a file; it writes no file itself.

#include <QDialog>
#include <array>

#include "codecs/tag_info.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tonalda::ui {

class Id3TagDialog final : public QDialog {
    Q_OBJECT

  public:
    // `heading` is shown read-only at the top (the track's title or the file's path).
    Id3TagDialog(TagInfo& tag, const QString& heading, QWidget* parent = nullptr);

    // Runs the editor modally; true when the user pressed Write (the record then holds the
    // edits), false after Cancel (the record is untouched).
    static bool edit(TagInfo& tag, const QString& heading, QWidget* parent);

    // The controls, for tests and pictures.
    QCheckBox& versionSwitch(int version) const { return *(version == 1 ? v1Switch_ : v2Switch_); }
    // A text field by its label without the colon ("Title", "Orig. Artist", ...) of a version.
    QLineEdit* field(int version, const QString& label) const;
    QComboBox& genre(int version) const { return *(version == 1 ? v1Genre_ : v2Genre_); }
    QPlainTextEdit& comment2() const { return *comment2_; }
    QPushButton& writeButton() const { return *write_; }

  private:
    // The text fields in record order; the version 2 comment is the multi-line box.
    struct TextField {
        const char* label;
        std::string TagInfo::*member;
        bool digitsOnly;
        QLineEdit* edit;
    };

    QGroupBox* makeGroup(int version);
    void fill();
    void setVersionEnabled(int version, bool enabled);
    void write();

    TagInfo& tag_;
    std::array<TextField, 6> v1Fields_;
    std::array<TextField, 10> v2Fields_;
    QCheckBox* v1Switch_ = nullptr;
    QCheckBox* v2Switch_ = nullptr;
    QComboBox* v1Genre_ = nullptr;
    QComboBox* v2Genre_ = nullptr;
    QPlainTextEdit* comment2_ = nullptr;
    QPushButton* write_ = nullptr;
};

}  // namespace tonalda::ui
