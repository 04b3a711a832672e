#pragma once
// The "ID3 Tag" dialog: edits one TagInfo, its ID3v1 field set and its ID3v2 field set, each with
// a check box that says whether that version is written. It writes no file; the caller keeps the
// record and writes it when the track is ripped or the file converted.

#include <QDialog>
#include <span>
#include <string>
#include <vector>

#include "codecs/tag_info.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;

namespace tonalda::ui {

// Thread: the user interface thread.
class Id3Editor : public QDialog {
    Q_OBJECT

  public:
    // `tag` is edited in place when the user presses Write; `heading` is shown read-only at the
    // top (the rip view passes the row's title). The tag must outlive the dialog.
    Id3Editor(TagInfo& tag, const QString& heading, QWidget* parent = nullptr);

    // Write: the checked versions' fields go into the record and their flags are set, an
    // unchecked version's flag is cleared and its fields are left as they were; then the dialog
    // closes accepted.
    void write();

    QCheckBox& version1Box() const { return *v1_.box; }
    QCheckBox& version2Box() const { return *v2_.box; }
    QPushButton& writeButton() const { return *write_; }
    QPushButton& cancelButton() const { return *cancel_; }

  private:
    // A field and the record's text it edits.
    struct TextField {
        QWidget* field;
        std::string TagInfo::*text;
    };
    // One version's check box, fields and the record's members they edit.
    struct Version {
        QCheckBox* box = nullptr;
        std::vector<TextField> texts;
        QComboBox* genre = nullptr;
        std::int32_t TagInfo::*genreNumber = nullptr;
        std::uint8_t TagInfo::*flag = nullptr;
        std::vector<QWidget*> controls;  // every field, for enabling
    };
    struct FieldSpec;

    QWidget* makeGroup(Version& version, const QString& title, const QString& boxText,
                       std::span<const FieldSpec> fields);
    void fill(Version& version);
    void store(const Version& version);
    void enableFields();

    TagInfo& tag_;
    Version v1_;
    Version v2_;
    QPushButton* write_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace tonalda::ui
