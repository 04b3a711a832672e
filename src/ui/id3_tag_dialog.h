#pragma once
// The ID3 editor "ID3 Tag": edits one tag record in place, its version 1 and version 2 field sets
// each behind a check box that says whether that version is written. The rip view opens it for a
// track, the convert view for a file; it writes no file itself.

#include <QDialog>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codecs/tag_info.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tonalda::ui {

// Thread: the user interface thread.
class Id3TagDialog : public QDialog {
    Q_OBJECT

  public:
    // `heading` is shown read-only at the top (the track's title or the file's path). The record
    // must outlive the dialog.
    Id3TagDialog(TagInfo& tag, const QString& heading, QWidget* parent = nullptr);

    // Runs the editor modally; true when the user pressed Write (the record then holds the
    // edits), false after Cancel (the record is untouched).
    static bool edit(TagInfo& tag, const QString& heading, QWidget* parent);

    // The controls, for tests and pictures.
    QCheckBox& versionSwitch(int version) const { return *versionOf(version).box; }
    // A one-line text field by its label without the colon ("Title", "Orig. Artist", ...) of a
    // version; nullptr for a label the version does not have.
    QLineEdit* field(int version, const QString& label) const;
    QComboBox& genre(int version) const { return *versionOf(version).genre; }
    QPlainTextEdit& comment2() const { return *comment2_; }
    QPushButton& writeButton() const { return *write_; }
    QPushButton& cancelButton() const { return *cancel_; }

  private:
    struct FieldRow;
    // A text field and the record's text it edits.
    struct TextField {
        QString label;
        QWidget* edit;
        std::string TagInfo::*member;
    };
    // One version's check box, fields and the record's members they edit.
    struct Version {
        QCheckBox* box = nullptr;
        std::vector<TextField> texts;
        QComboBox* genre = nullptr;
        std::int32_t TagInfo::*genreNumber = nullptr;
        std::uint8_t TagInfo::*flag = nullptr;
        std::vector<QWidget*> controls;  // fields and their captions, for enabling
    };

    const Version& versionOf(int version) const { return version == 1 ? v1_ : v2_; }
    QWidget* makeGroup(Version& version, int number, std::span<const FieldRow> fields);
    void fill(Version& version);
    void store(const Version& version);
    void enableFields();
    void write();

    TagInfo& tag_;
    Version v1_;
    Version v2_;
    QPlainTextEdit* comment2_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace tonalda::ui
