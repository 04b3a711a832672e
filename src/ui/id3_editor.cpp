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

QString qText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string text(const QLineEdit* field) {
    return field->text().toStdString();
}

QLineEdit* lineField(const QString& name) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    return field;
}

// Track and year take digits only.
QLineEdit* digitsField(const QString& name) {
    QLineEdit* field = lineField(name);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    return field;
}

// The 148 genre names in table order, so that a list position is a genre number.
QComboBox* genreList(const QString& name) {
    auto* list = new QComboBox;
    list->setObjectName(name);
    list->setMaxVisibleItems(16);
    for (const std::string_view genre : kGenreNames)
        list->addItem(QString::fromUtf8(genre.data(), static_cast<qsizetype>(genre.size())));
    list->setCurrentIndex(-1);
    return list;
}

// A field's row with its label; the label greys out with the field.
void addRow(QFormLayout* form, const QString& label, QWidget* field) {
    auto* caption = new QLabel(label);
    caption->setBuddy(field);
    form->addRow(caption, field);
    field->setProperty("caption", QVariant::fromValue(static_cast<QObject*>(caption)));
}

void setFieldEnabled(QWidget* field, bool enabled) {
    field->setEnabled(enabled);
    if (auto* caption = qobject_cast<QWidget*>(field->property("caption").value<QObject*>()))
        caption->setEnabled(enabled);
}

}  // namespace

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

    auto* groups = new QHBoxLayout;
    groups->addWidget(makeVersion1Group(), 0, Qt::AlignTop);
    groups->addWidget(makeVersion2Group(), 1);

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

    connect(v1_, &QCheckBox::toggled, this, &Id3Editor::enableFields);
    connect(v2_, &QCheckBox::toggled, this, &Id3Editor::enableFields);
    fill();
    enableFields();
}

QWidget* Id3Editor::makeVersion1Group() {
    auto* group = new QGroupBox(QStringLiteral("ID3V1"));
    auto* layout = new QVBoxLayout(group);
    v1_ = new QCheckBox(QStringLiteral("ID3V1 Tag"));
    v1_->setObjectName(QStringLiteral("v1Tag"));
    layout->addWidget(v1_);
    auto* form = new QFormLayout;
    f1_ = {digitsField(QStringLiteral("v1Track")),  lineField(QStringLiteral("v1Title")),
           lineField(QStringLiteral("v1Artist")),   lineField(QStringLiteral("v1Album")),
           digitsField(QStringLiteral("v1Year")),   genreList(QStringLiteral("v1Genre")),
           lineField(QStringLiteral("v1Comment"))};
    v1Controls_ = {f1_.track, f1_.title, f1_.artist, f1_.album, f1_.year, f1_.genre, f1_.comment};
    const char* labels[] = {"Track:", "Title:", "Artist:", "Album:", "Year:", "Genre:",
                            "Comment:"};
    for (std::size_t i = 0; i < v1Controls_.size(); ++i)
        addRow(form, QString::fromLatin1(labels[i]), v1Controls_[i]);
    layout->addLayout(form);
    layout->addStretch(1);
    group->setMinimumWidth(260);
    return group;
}

QWidget* Id3Editor::makeVersion2Group() {
    auto* group = new QGroupBox(QStringLiteral("ID3V2"));
    auto* layout = new QVBoxLayout(group);
    v2_ = new QCheckBox(QStringLiteral("ID3V2 Tag"));
    v2_->setObjectName(QStringLiteral("v2Tag"));
    layout->addWidget(v2_);
    auto* comment = new QPlainTextEdit;
    comment->setObjectName(QStringLiteral("v2Comment"));
    comment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    comment->setTabChangesFocus(true);
    comment->setFixedHeight(comment->fontMetrics().lineSpacing() * 3 + 12);
    auto* form = new QFormLayout;
    f2_ = {digitsField(QStringLiteral("v2Track")),     lineField(QStringLiteral("v2Title")),
           lineField(QStringLiteral("v2Artist")),      lineField(QStringLiteral("v2Album")),
           digitsField(QStringLiteral("v2Year")),      genreList(QStringLiteral("v2Genre")),
           comment,
           lineField(QStringLiteral("v2Composer")),    lineField(QStringLiteral("v2OriArtist")),
           lineField(QStringLiteral("v2CopyRight")),   lineField(QStringLiteral("v2URL")),
           lineField(QStringLiteral("v2EncodeBy"))};
    v2Controls_ = {f2_.track,    f2_.title,          f2_.artist,    f2_.album,
                   f2_.year,     f2_.genre,          f2_.comment,   f2_.composer,
                   f2_.originalArtist, f2_.copyright, f2_.url,      f2_.encodedBy};
    const char* labels[] = {"Track:",   "Title:",        "Artist:",     "Album:",
                            "Year:",    "Genre:",        "Comment:",    "Composer:",
                            "Orig. Artist:", "Copy Right:", "URL:",     "Encode by:"};
    for (std::size_t i = 0; i < v2Controls_.size(); ++i)
        addRow(form, QString::fromLatin1(labels[i]), v2Controls_[i]);
    layout->addLayout(form);
    group->setMinimumWidth(330);
    return group;
}

void Id3Editor::fill() {
    // A version whose flag is clear starts with empty boxes and no genre.
    if (tag_.isV1 != 0) {
        f1_.track->setText(qText(tag_.Track1));
        f1_.title->setText(qText(tag_.Title1));
        f1_.artist->setText(qText(tag_.Artist1));
        f1_.album->setText(qText(tag_.Album1));
        f1_.year->setText(qText(tag_.Year1));
        f1_.genre->setCurrentIndex(isGenreNumber(tag_.Genre1) ? tag_.Genre1 : -1);
        f1_.comment->setText(qText(tag_.Comment1));
    }
    v1_->setChecked(tag_.isV1 != 0);
    if (tag_.isV2 != 0) {
        f2_.track->setText(qText(tag_.Track2));
        f2_.title->setText(qText(tag_.Title2));
        f2_.artist->setText(qText(tag_.Artist2));
        f2_.album->setText(qText(tag_.Album2));
        f2_.year->setText(qText(tag_.Year2));
        f2_.genre->setCurrentIndex(isGenreNumber(tag_.Genre2) ? tag_.Genre2 : -1);
        f2_.comment->setPlainText(qText(tag_.Comment2));
        f2_.composer->setText(qText(tag_.Composer));
        f2_.originalArtist->setText(qText(tag_.OriArtist));
        f2_.copyright->setText(qText(tag_.CopyRight));
        f2_.url->setText(qText(tag_.URL));
        f2_.encodedBy->setText(qText(tag_.EncodeBy));
    }
    v2_->setChecked(tag_.isV2 != 0);
    for (QLineEdit* field : {f1_.title, f1_.artist, f1_.album, f1_.comment, f2_.title,
                             f2_.artist, f2_.album})
        field->setCursorPosition(0);  // a long text shows its beginning
}

void Id3Editor::enableFields() {
    for (QWidget* control : v1Controls_)
        setFieldEnabled(control, v1_->isChecked());
    for (QWidget* control : v2Controls_)
        setFieldEnabled(control, v2_->isChecked());
}

void Id3Editor::write() {
    if (v1_->isChecked()) {
        tag_.Track1 = text(f1_.track);
        tag_.Title1 = text(f1_.title);
        tag_.Artist1 = text(f1_.artist);
        tag_.Album1 = text(f1_.album);
        tag_.Year1 = text(f1_.year);
        tag_.Genre1 = f1_.genre->currentIndex();
        tag_.Comment1 = text(f1_.comment);
        tag_.isV1 = 1;
    } else {
        tag_.isV1 = 0;
    }
    if (v2_->isChecked()) {
        tag_.Track2 = text(f2_.track);
        tag_.Title2 = text(f2_.title);
        tag_.Artist2 = text(f2_.artist);
        tag_.Album2 = text(f2_.album);
        tag_.Year2 = text(f2_.year);
        tag_.Genre2 = f2_.genre->currentIndex();
        tag_.Comment2 = f2_.comment->toPlainText().toStdString();
        tag_.Composer = text(f2_.composer);
        tag_.OriArtist = text(f2_.originalArtist);
        tag_.CopyRight = text(f2_.copyright);
        tag_.URL = text(f2_.url);
        tag_.EncodeBy = text(f2_.encodedBy);
        tag_.isV2 = 1;
    } else {
        tag_.isV2 = 0;
    }
    accept();
}

}  // namespace tonalda::ui
