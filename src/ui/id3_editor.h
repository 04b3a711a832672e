#pragma once
// The "ID3 Tag" dialog: edits one TagInfo, its ID3v1 field set and its ID3v2 field set, each with
// a check box that says whether that version is written. It writes no file; the caller keeps the
// record and writes it when the track is ripped or the file converted.

#include <QDialog>
#include <array>

#include "codecs/tag_info.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
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

    QCheckBox& version1Box() const { return *v1_; }
    QCheckBox& version2Box() const { return *v2_; }
    QPushButton& writeButton() const { return *write_; }
    QPushButton& cancelButton() const { return *cancel_; }

  private:
    struct Version1Fields {
        QLineEdit* track;
        QLineEdit* title;
        QLineEdit* artist;
        QLineEdit* album;
        QLineEdit* year;
        QComboBox* genre;
        QLineEdit* comment;
    };
    struct Version2Fields {
        QLineEdit* track;
        QLineEdit* title;
        QLineEdit* artist;
        QLineEdit* album;
        QLineEdit* year;
        QComboBox* genre;
        QPlainTextEdit* comment;
        QLineEdit* composer;
        QLineEdit* originalArtist;
        QLineEdit* copyright;
        QLineEdit* url;
        QLineEdit* encodedBy;
    };

    QWidget* makeVersion1Group();
    QWidget* makeVersion2Group();
    void fill();
    void enableFields();

    TagInfo& tag_;
    QCheckBox* v1_ = nullptr;
    QCheckBox* v2_ = nullptr;
    Version1Fields f1_{};
    Version2Fields f2_{};
    std::array<QWidget*, 7> v1Controls_{};
    std::array<QWidget*, 12> v2Controls_{};
    QPushButton* write_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace tonalda::ui
