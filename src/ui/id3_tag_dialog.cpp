#include "ui/id3_tag_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "codecs/genres.h"

namespace tonalda::ui {

namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QComboBox* makeGenreList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    for (const std::string_view name : kGenreNames)
        list->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    list->setMaxVisibleItems(16);
    list->setCurrentIndex(-1);
    return list;
}

}  // namespace

Id3TagDialog::Id3TagDialog(TagInfo& tag, const QString& heading, QWidget* parent)
    : QDialog(parent),
      tag_(tag),
      v1Fields_{{{"Track", &TagInfo::Track1, true, nullptr},
                 {"Title", &TagInfo::Title1, false, nullptr},
                 {"Artist", &TagInfo::Artist1, false, nullptr},
                 {"Album", &TagInfo::Album1, false, nullptr},
                 {"Year", &TagInfo::Year1, true, nullptr},
                 {"Comment", &TagInfo::Comment1, false, nullptr}}},
      v2Fields_{{{"Track", &TagInfo::Track2, true, nullptr},
                 {"Title", &TagInfo::Title2, false, nullptr},
                 {"Artist", &TagInfo::Artist2, false, nullptr},
                 {"Album", &TagInfo::Album2, false, nullptr},
                 {"Year", &TagInfo::Year2, true, nullptr},
                 {"Composer", &TagInfo::Composer, false, nullptr},
                 {"Orig. Artist", &TagInfo::OriArtist, false, nullptr},
                 {"Copy Right", &TagInfo::CopyRight, false, nullptr},
                 {"URL", &TagInfo::URL, false, nullptr},
                 {"Encode by", &TagInfo::EncodeBy, false, nullptr}}} {
    setWindowTitle(QStringLiteral("ID3 Tag"));
    setObjectName(QStringLiteral("id3TagDialog"));

    auto* headingLine = new QLineEdit(heading, this);
    headingLine->setReadOnly(true);
    headingLine->setObjectName(QStringLiteral("heading"));
    headingLine->setAccessibleName(QStringLiteral("Editing"));
    headingLine->setCursorPosition(0);
    // Readable and copyable, but the keyboard starts in the fields.
    headingLine->setFocusPolicy(Qt::ClickFocus);

    auto* groups = new QHBoxLayout;
    groups->addWidget(makeGroup(1), 0, Qt::AlignTop);
    groups->addWidget(makeGroup(2), 0, Qt::AlignTop);

    auto* buttons = new QDialogButtonBox(this);
    write_ = buttons->addButton(QStringLiteral("Write"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        write();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headingLine);
    layout->addLayout(groups);
    layout->addWidget(buttons);

    fill();
}

bool Id3TagDialog::edit(TagInfo& tag, const QString& heading, QWidget* parent) {
    Id3TagDialog dialog(tag, heading, parent);
    return dialog.exec() == QDialog::Accepted;
}

QGroupBox* Id3TagDialog::makeGroup(int version) {
    auto* group =
        new QGroupBox(version == 1 ? QStringLiteral("ID3V1") : QStringLiteral("ID3V2"), this);
    auto* form = new QFormLayout(group);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto* versionBox = new QCheckBox(
        version == 1 ? QStringLiteral("ID3V1 Tag") : QStringLiteral("ID3V2 Tag"), group);
    form->addRow(versionBox);
    connect(versionBox, &QCheckBox::toggled, this,
            [this, version](bool on) { setVersionEnabled(version, on); });

    auto* genreList = makeGenreList(group);
    const auto digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), group);
    auto addText = [&](TextField& field) {
        field.edit = new QLineEdit(group);
        field.edit->setObjectName(
            QStringLiteral("v%1 %2").arg(version).arg(QString::fromLatin1(field.label)));
        if (field.digitsOnly)
            field.edit->setValidator(digits);
        form->addRow(QString::fromLatin1(field.label) + QLatin1Char(':'), field.edit);
    };
    if (version == 1) {
        // Track, Title, Artist, Album, Year, Genre, Comment.
        for (std::size_t i = 0; i < 5; ++i)
            addText(v1Fields_[i]);
        form->addRow(QStringLiteral("Genre:"), genreList);
        addText(v1Fields_[5]);
        v1Switch_ = versionBox;
        v1Genre_ = genreList;
    } else {
        // Track .. Year, Genre, the multi-line Comment, then Composer .. Encode by.
        for (std::size_t i = 0; i < 5; ++i)
            addText(v2Fields_[i]);
        form->addRow(QStringLiteral("Genre:"), genreList);
        comment2_ = new QPlainTextEdit(group);
        comment2_->setObjectName(QStringLiteral("v2 Comment"));
        comment2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        comment2_->setTabChangesFocus(true);
        comment2_->setFixedHeight(fontMetrics().lineSpacing() * 3 + 10);
        form->addRow(QStringLiteral("Comment:"), comment2_);
        for (std::size_t i = 5; i < v2Fields_.size(); ++i)
            addText(v2Fields_[i]);
        v2Switch_ = versionBox;
        v2Genre_ = genreList;
    }
    return group;
}

QLineEdit* Id3TagDialog::field(int version, const QString& label) const {
    auto find = [&](const auto& fields) -> QLineEdit* {
        for (const TextField& f : fields)
            if (label == QLatin1String(f.label))
                return f.edit;
        return nullptr;
    };
    return version == 1 ? find(v1Fields_) : find(v2Fields_);
}

void Id3TagDialog::fill() {
    // A version whose flag is clear starts empty, without a genre and unchecked.
    auto show = [](TextField& field, const std::string& value) {
        field.edit->setText(text(value));
        field.edit->setCursorPosition(0);  // a long text shows its beginning
    };
    if (tag_.isV1) {
        for (TextField& field : v1Fields_)
            show(field, tag_.*field.member);
        v1Genre_->setCurrentIndex(isGenreNumber(tag_.Genre1) ? tag_.Genre1 : -1);
    }
    if (tag_.isV2) {
        for (TextField& field : v2Fields_)
            show(field, tag_.*field.member);
        v2Genre_->setCurrentIndex(isGenreNumber(tag_.Genre2) ? tag_.Genre2 : -1);
        comment2_->setPlainText(text(tag_.Comment2));
    }
    v1Switch_->setChecked(tag_.isV1 != 0);
    v2Switch_->setChecked(tag_.isV2 != 0);
    setVersionEnabled(1, tag_.isV1 != 0);
    setVersionEnabled(2, tag_.isV2 != 0);
}

void Id3TagDialog::setVersionEnabled(int version, bool enabled) {
    auto enable = [enabled](auto& fields) {
        for (TextField& field : fields)
            field.edit->setEnabled(enabled);
    };
    if (version == 1) {
        enable(v1Fields_);
        v1Genre_->setEnabled(enabled);
    } else {
        enable(v2Fields_);
        v2Genre_->setEnabled(enabled);
        comment2_->setEnabled(enabled);
    }
}

void Id3TagDialog::write() {
    // An unchecked version keeps its values in the record; only its flag is cleared.
    if (v1Switch_->isChecked()) {
        for (TextField& field : v1Fields_)
            tag_.*field.member = field.edit->text().toStdString();
        tag_.Genre1 = v1Genre_->currentIndex();
    }
    if (v2Switch_->isChecked()) {
        for (TextField& field : v2Fields_)
            tag_.*field.member = field.edit->text().toStdString();
        tag_.Genre2 = v2Genre_->currentIndex();
        tag_.Comment2 = comment2_->toPlainText().toStdString();
    }
    tag_.isV1 = v1Switch_->isChecked() ? 1 : 0;
    tag_.isV2 = v2Switch_->isChecked() ? 1 : 0;
}

}  // namespace tonalda::ui
