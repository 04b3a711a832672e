#include "ui/id3_editor.h"

#include <QCheckBox>
#include <QComboBox>
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

QWidget* makeField(FieldKind kind, const QString& name) {
    QWidget* field = nullptr;
    switch (kind) {
        case FieldKind::Line:
        case FieldKind::Digits: {
            auto* line = new QLineEdit;
            // Track and year take digits only.
            if (kind == FieldKind::Digits)
                line->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), line));
            field = line;
            break;
        }
        case FieldKind::Lines: {
            auto* lines = new QPlainTextEdit;
            lines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            lines->setTabChangesFocus(true);
            lines->setFixedHeight(lines->fontMetrics().lineSpacing() * 3 + 12);
            field = lines;
            break;
        }
        case FieldKind::Genre: {
            // The 148 genre names in table order, so that a list position is a genre number.
            auto* list = new QComboBox;
            list->setMaxVisibleItems(16);
            for (const std::string_view genre : kGenreNames)
                list->addItem(
                    QString::fromUtf8(genre.data(), static_cast<qsizetype>(genre.size())));
            list->setCurrentIndex(-1);
            field = list;
            break;
        }
    }
    field->setObjectName(name);
    return field;
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

struct Id3Editor::FieldSpec {
    const char* label;
    const char* name;
    FieldKind kind;
    std::string TagInfo::*text;  // nullptr for the genre
};

Id3Editor::Id3Editor(TagInfo& tag, const QString& heading, QWidget* parent)
    : QDialog(parent), tag_(tag) {
    setWindowTitle(QStringLiteral("ID3 Tag"));
    setObjectName(QStringLiteral("id3Editor"));

    auto* headingLine = new QLineEdit(heading);
    headingLine->setObjectName(QStringLiteral("heading"));
    headingLine->setAccessibleName(QStringLiteral("Track"));
    headingLine->setReadOnly(true);
    headingLine->setFocusPolicy(Qt::NoFocus);
    headingLine->setCursorPosition(0);

    static const FieldSpec kVersion1[] = {
        {"Track:", "v1Track", FieldKind::Digits, &TagInfo::Track1},
        {"Title:", "v1Title", FieldKind::Line, &TagInfo::Title1},
        {"Artist:", "v1Artist", FieldKind::Line, &TagInfo::Artist1},
        {"Album:", "v1Album", FieldKind::Line, &TagInfo::Album1},
        {"Year:", "v1Year", FieldKind::Digits, &TagInfo::Year1},
        {"Genre:", "v1Genre", FieldKind::Genre, nullptr},
        {"Comment:", "v1Comment", FieldKind::Line, &TagInfo::Comment1}};
    static const FieldSpec kVersion2[] = {
        {"Track:", "v2Track", FieldKind::Digits, &TagInfo::Track2},
        {"Title:", "v2Title", FieldKind::Line, &TagInfo::Title2},
        {"Artist:", "v2Artist", FieldKind::Line, &TagInfo::Artist2},
        {"Album:", "v2Album", FieldKind::Line, &TagInfo::Album2},
        {"Year:", "v2Year", FieldKind::Digits, &TagInfo::Year2},
        {"Genre:", "v2Genre", FieldKind::Genre, nullptr},
        {"Comment:", "v2Comment", FieldKind::Lines, &TagInfo::Comment2},
        {"Composer:", "v2Composer", FieldKind::Line, &TagInfo::Composer},
        {"Orig. Artist:", "v2OriArtist", FieldKind::Line, &TagInfo::OriArtist},
        {"Copy Right:", "v2CopyRight", FieldKind::Line, &TagInfo::CopyRight},
        {"URL:", "v2URL", FieldKind::Line, &TagInfo::URL},
        {"Encode by:", "v2EncodeBy", FieldKind::Line, &TagInfo::EncodeBy}};
    v1_.genreNumber = &TagInfo::Genre1;
    v1_.flag = &TagInfo::isV1;
    v2_.genreNumber = &TagInfo::Genre2;
    v2_.flag = &TagInfo::isV2;

    auto* groups = new QHBoxLayout;
    QWidget* group1 =
        makeGroup(v1_, QStringLiteral("ID3V1"), QStringLiteral("ID3V1 Tag"), kVersion1);
    group1->setMinimumWidth(260);
    groups->addWidget(group1, 0, Qt::AlignTop);
    QWidget* group2 =
        makeGroup(v2_, QStringLiteral("ID3V2"), QStringLiteral("ID3V2 Tag"), kVersion2);
    group2->setMinimumWidth(330);
    groups->addWidget(group2, 1);

    write_ = new QPushButton(QStringLiteral("Write"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"));
    write_->setDefault(true);
    connect(write_, &QPushButton::clicked, this, &Id3Editor::write);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(write_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingLine);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    fill(v1_);
    fill(v2_);
    connect(v1_.box, &QCheckBox::toggled, this, &Id3Editor::enableFields);
    connect(v2_.box, &QCheckBox::toggled, this, &Id3Editor::enableFields);
    enableFields();
}

QWidget* Id3Editor::makeGroup(Version& version, const QString& title, const QString& boxText,
                              std::span<const FieldSpec> fields) {
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    version.box = new QCheckBox(boxText);
    version.box->setObjectName(title.toLower() + QStringLiteral("Tag"));
    layout->addWidget(version.box);
    auto* form = new QFormLayout;
    for (const FieldSpec& spec : fields) {
        QWidget* field = makeField(spec.kind, QString::fromLatin1(spec.name));
        auto* caption = new QLabel(QString::fromLatin1(spec.label));
        caption->setBuddy(field);
        form->addRow(caption, field);
        // The caption greys out with its field.
        version.controls.push_back(field);
        version.controls.push_back(caption);
        if (spec.kind == FieldKind::Genre)
            version.genre = static_cast<QComboBox*>(field);
        else
            version.texts.push_back({field, spec.text});
    }
    layout->addLayout(form);
    layout->addStretch(1);
    return group;
}

void Id3Editor::fill(Version& version) {
    // A version whose flag is clear starts with empty boxes and no genre.
    const bool on = tag_.*version.flag != 0;
    if (on) {
        for (const TextField& text : version.texts)
            showFieldText(text.field, qText(tag_.*text.text));
        const std::int32_t genre = tag_.*version.genreNumber;
        version.genre->setCurrentIndex(isGenreNumber(genre) ? genre : -1);
    }
    version.box->setChecked(on);
}

void Id3Editor::store(const Version& version) {
    // An unchecked version keeps its values in the record; only its flag is cleared.
    if (!version.box->isChecked()) {
        tag_.*version.flag = 0;
        return;
    }
    for (const TextField& text : version.texts)
        tag_.*text.text = fieldText(text.field).toStdString();
    tag_.*version.genreNumber = version.genre->currentIndex();
    tag_.*version.flag = 1;
}

void Id3Editor::enableFields() {
    for (const Version* version : {&v1_, &v2_})
        for (QWidget* control : version->controls)
            control->setEnabled(version->box->isChecked());
}

void Id3Editor::write() {
    store(v1_);
    store(v2_);
    accept();
}

}  // namespace tonalda::ui
