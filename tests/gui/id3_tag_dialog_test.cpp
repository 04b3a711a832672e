// The ID3 editor: which version's fields it shows and lets the user edit, and what Write and
// Cancel leave in the record.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui_test_support.h"
#include "ui/id3_tag_dialog.h"

namespace tonalda::test {

namespace {

TagInfo versionOneRecord() {
    TagInfo tag;
    tag.isV1 = 1;
    tag.Title1 = "Hold On";
    tag.Genre1 = 38;  // Gospel
    tag.Title2 = "kept but not shown";
    tag.Genre2 = 17;
    return tag;
}

}  // namespace

class Id3TagDialogTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aVersionWhoseFlagIsClearStartsEmptyAndGrey() {
        TagInfo tag = versionOneRecord();
        ui::Id3TagDialog dialog(tag, QStringLiteral("/music/a.wav"));
        QCOMPARE(dialog.field(1, QStringLiteral("Title"))->text(), QStringLiteral("Hold On"));
        QCOMPARE(dialog.genre(1).currentText(), QStringLiteral("Gospel"));
        QLineEdit* title2 = dialog.field(2, QStringLiteral("Title"));
        QVERIFY(!dialog.versionSwitch(2).isChecked() && !title2->isEnabled());
        QVERIFY(title2->text().isEmpty() && !dialog.comment2().isEnabled());
        // The captions grey with their fields.
        int greyCaptions = 0;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            greyCaptions += label->buddy() == title2 && !label->isEnabled() ? 1 : 0;
        QCOMPARE(greyCaptions, 1);
        QCOMPARE(dialog.genre(2).currentIndex(), -1);
        dialog.versionSwitch(2).click();
        QVERIFY(title2->isEnabled() && dialog.comment2().isEnabled() &&
                dialog.field(2, QStringLiteral("Encode by"))->isEnabled());
        // Track and Year take digits only.
        QTest::keyClicks(dialog.field(2, QStringLiteral("Year")), QStringLiteral("19a9-7"));
        QCOMPARE(dialog.field(2, QStringLiteral("Year"))->text(), QStringLiteral("1997"));

        TagInfo rock;
        rock.isV2 = 1;
        ui::Id3TagDialog second(rock, QStringLiteral("x"));
        QCOMPARE(second.genre(2).currentText(), QStringLiteral("Rock"));
        QCOMPARE(second.genre(2).itemText(147), QStringLiteral("Synthpop"));
    }

    void writeStoresTheCheckedVersionsAndCancelNothing() {
        TagInfo tag = versionOneRecord();
        ui::Id3TagDialog cancelled(tag, QStringLiteral("x"));
        cancelled.field(1, QStringLiteral("Title"))->setText(QStringLiteral("changed"));
        cancelled.reject();
        QCOMPARE(tag, versionOneRecord());

        ui::Id3TagDialog dialog(tag, QStringLiteral("x"));
        dialog.versionSwitch(1).click();  // off: its values stay in the record
        dialog.versionSwitch(2).click();
        dialog.field(2, QStringLiteral("Title"))->setText(QStringLiteral("Día de Muertos"));
        dialog.comment2().setPlainText(QStringLiteral("two\nlines"));
        dialog.genre(2).setCurrentIndex(8);
        dialog.writeButton().click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(tag.isV1, std::uint8_t(0));
        QCOMPARE(tag.Title1, std::string("Hold On"));
        QCOMPARE(tag.isV2, std::uint8_t(1));
        QCOMPARE(tag.Title2, std::string("Día de Muertos"));
        QCOMPARE(tag.Comment2, std::string("two\nlines"));
        QCOMPARE(tag.Genre2, 8);

        // Reopened, version 1 shows empty; checked again and written, it stores those empties.
        ui::Id3TagDialog again(tag, QStringLiteral("x"));
        QVERIFY(again.field(1, QStringLiteral("Title"))->text().isEmpty());
        again.versionSwitch(1).click();
        again.writeButton().click();
        QCOMPARE(tag.isV1, std::uint8_t(1));
        QCOMPARE(tag.Title1, std::string());
        QCOMPARE(tag.Genre1, -1);  // no genre chosen
    }
};

const GuiTestRegistration<Id3TagDialogTest> kId3TagDialog;

}  // namespace tonalda::test

#include "id3_tag_dialog_test.moc"
