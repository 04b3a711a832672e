#include "ui/id3_tag_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "codecs/genres.h"

namespace tonalda::ui {

namespace {

enum class FieldKind { Line, Digits, Lines, Genre };

QString qText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* makeField(FieldKind kind, QWidget* parent) {
    switch (kind) {
        case FieldKind::Line:
            return new QLineEdit(parent);
        case FieldKind::Digits: {
            // Track and year take digits only.
            auto* line = new QLineEdit(parent);
            line->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), line));
            return line;
        }
        case FieldKind::Lines: {
            auto* lines = new QPlainTextEdit(parent);
            lines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            lines->setTabChangesFocus(true);
            lines->setFixedHeight(lines->fontMetrics().lineSpacing() * 3 + 10);
            return lines;
        }
        case FieldKind::Genre: {
            // The genre names in table order, so that a list position is a genre number.
            auto* list = new QComboBox(parent);
            list->setMaxVisibleItems(16);
            for (const std::string_view genre : kGenreNames)
                list->addItem(
                    QString::fromUtf8(genre.data(), static_cast<qsizetype>(genre.size())));
            list->setCurrentIndex(-1);
            return list;
        }
    }
    return nullptr;
}

QString fieldText(const QWidget* field) {
    if (const auto* lines = qobject_cast<const QPlainTextEdit*>(field))
        return lines->toPlainText();
    return static_cast<const QLineEdit*>(field)->text();
}

void showFieldText(QWidget* field, const QString& text) {
    if (auto* lines = qobject_cast<QPlainTextEdit*>(field)) {
        lines->setPlainText(text);
        return;
    }
    auto* line = static_cast<QLineEdit*>(field);
    line->setText(text);
    line->setCursorPosition(0);  // a long text shows its beginning
}

}  // namespace

// One row of a version's group, top to bottom.
struct Id3TagDialog::FieldRow {
    const char* label;
    FieldKind kind;
    std::string TagInfo::*member;  // nullptr for the genre
};

Id3TagDialog::Id3TagDialog(TagInfo& tag, const QString& heading, QWidget* parent)
    : QDialog(parent), tag_(tag) {
    setWindowTitle(QStringLiteral("ID3 Tag"));
    setObjectName(QStringLiteral("id3TagDialog"));

    auto* headingLine = new QLineEdit(heading, this);
    headingLine->setReadOnly(true);
    headingLine->setObjectName(QStringLiteral("heading"));
    headingLine->setAccessibleName(QStringLiteral("Editing"));
    headingLine->setCursorPosition(0);
    // Readable and copyable, but the keyboard starts in the fields.
    headingLine->setFocusPolicy(Qt::ClickFocus);

    static constexpr FieldRow kVersion1[] = {{"Track", FieldKind::Digits, &TagInfo::Track1},
                                             {"Title", FieldKind::Line, &TagInfo::Title1},
                                             {"Artist", FieldKind::Line, &TagInfo::Artist1},
                                             {"Album", FieldKind::Line, &TagInfo::Album1},
                                             {"Year", FieldKind::Digits, &TagInfo::Year1},
                                             {"Genre", FieldKind::Genre, nullptr},
                                             {"Comment", FieldKind::Line, &TagInfo::Comment1}};
    static constexpr FieldRow kVersion2[] = {{"Track", FieldKind::Digits, &TagInfo::Track2},
                                             {"Title", FieldKind::Line, &TagInfo::Title2},
                                             {"Artist", FieldKind::Line, &TagInfo::Artist2},
                                             {"Album", FieldKind::Line, &TagInfo::Album2},
                                             {"Year", FieldKind::Digits, &TagInfo::Year2},
                                             {"Genre", FieldKind::Genre, nullptr},
                                             {"Comment", FieldKind::Lines, &TagInfo::Comment2},
                                             {"Composer", FieldKind::Line, &TagInfo::Composer},
                                             {"Orig. Artist", FieldKind::Line, &TagInfo::OriArtist},
                                             {"Copy Right", FieldKind::Line, &TagInfo::CopyRight},
                                             {"URL", FieldKind::Line, &TagInfo::URL},
                                             {"Encode by", FieldKind::Line, &TagInfo::EncodeBy}};
    v1_.genreNumber = &TagInfo::Genre1;
    v1_.flag = &TagInfo::isV1;
    v2_.genreNumber = &TagInfo::Genre2;
    v2_.flag = &TagInfo::isV2;

    auto* groups = new QHBoxLayout;
    // The groups share the width, so that version 1's fields are not cut short.
    groups->addWidget(makeGroup(v1_, 1, kVersion1), 1, Qt::AlignTop);
    groups->addWidget(makeGroup(v2_, 2, kVersion2), 1, Qt::AlignTop);
    comment2_ = findChild<QPlainTextEdit*>(QStringLiteral("v2 Comment"));

    auto* buttons = new QDialogButtonBox(this);
    write_ = buttons->addButton(QStringLiteral("Write"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    write_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        write();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingLine);
    layout->addLayout(groups);
    layout->addWidget(buttons);
    // Wide enough for an album title of common length in each group.
    setMinimumWidth(640);

    fill(v1_);
    fill(v2_);
    connect(v1_.box, &QCheckBox::toggled, this, &Id3TagDialog::enableFields);
    connect(v2_.box, &QCheckBox::toggled, this, &Id3TagDialog::enableFields);
    enableFields();
}

bool Id3TagDialog::edit(TagInfo& tag, const QString& heading, QWidget* parent) {
    Id3TagDialog dialog(tag, heading, parent);
    return dialog.exec() == QDialog::Accepted;
}

QWidget* Id3TagDialog::makeGroup(Version& version, int number, std::span<const FieldRow> fields) {
    auto* group = new QGroupBox(QStringLiteral("ID3V%1").arg(number), this);
    auto* layout = new QVBoxLayout(group);
    version.box = new QCheckBox(QStringLiteral("ID3V%1 Tag").arg(number), group);
    layout->addWidget(version.box);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const FieldRow& row : fields) {
        const QString label = QString::fromLatin1(row.label);
        QWidget* field = makeField(row.kind, group);
        field->setObjectName(QStringLiteral("v%1 %2").arg(number).arg(label));
        auto* caption = new QLabel(label + QLatin1Char(':'), group);
        caption->setBuddy(field);
        form->addRow(caption, field);
        // The caption greys out with its field.
        version.controls.push_back(field);
        version.controls.push_back(caption);
        if (row.kind == FieldKind::Genre)
            version.genre = static_cast<QComboBox*>(field);
        else
            version.texts.push_back({label, field, row.member});
    }
    layout->addLayout(form);
    layout->addStretch(1);
    return group;
}

QLineEdit* Id3TagDialog::field(int version, const QString& label) const {
    for (const TextField& text : versionOf(version).texts)
        if (text.label == label)
            return qobject_cast<QLineEdit*>(text.edit);
    return nullptr;
}

void Id3TagDialog::fill(Version& version) {
    // A version whose flag is clear starts with empty fields, no genre and its box unchecked.
    const bool on = tag_.*version.flag != 0;
    if (on) {
        for (const TextField& text : version.texts)
            showFieldText(text.edit, qText(tag_.*text.member));
        const std::int32_t genre = tag_.*version.genreNumber;
        version.genre->setCurrentIndex(isGenreNumber(genre) ? genre : -1);
    }
    version.box->setChecked(on);
}

void Id3TagDialog::store(const Version& version) {
    // An unchecked version keeps its values in the record; only its flag is cleared.
    if (!version.box->isChecked()) {
        tag_.*version.flag = 0;
        return;
    }
    for (const TextField& text : version.texts)
        tag_.*text.member = fieldText(text.edit).toStdString();
    tag_.*version.genreNumber = version.genre->currentIndex();
    tag_.*version.flag = 1;
}

void Id3TagDialog::enableFields() {
    for (const Version* version : {&v1_, &v2_})
        for (QWidget* control : version->controls)
            control->setEnabled(version->box->isChecked());
}

void Id3TagDialog::write() {
    store(v1_);
    store(v2_);
}

}  // namespace tonalda::ui
