// The ID3 editor: which version's fields it shows and lets the user edit, and what Write and
// Cancel leave in the record.

#include <QCheckBox>
#include <QComboBox>
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
    tag.Artist1 = "Sister Rosetta";
    tag.Track1 = "4";
    tag.Genre1 = 38;  // Gospel
    tag.Title2 = "kept but not shown";
    tag.Genre2 = 17;
    return tag;
}

// Whether every version 2 control is enabled (true), disabled (false), or mixed (nullopt).
std::optional<bool> versionTwoEnabled(ui::Id3TagDialog& dialog) {
    std::vector<bool> states{dialog.genre(2).isEnabled(), dialog.comment2().isEnabled()};
    for (const char* label : {"Track", "Title", "Artist", "Album", "Year", "Composer",
                              "Orig. Artist", "Copy Right", "URL", "Encode by"})
        states.push_back(dialog.field(2, QString::fromLatin1(label))->isEnabled());
    if (std::all_of(states.begin(), states.end(), [](bool on) { return on; }))
        return true;
    if (std::none_of(states.begin(), states.end(), [](bool on) { return on; }))
        return false;
    return std::nullopt;
}

}  // namespace

class Id3TagDialogTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aVersionWhoseFlagIsClearStartsEmptyAndDisabled() {
        TagInfo tag = versionOneRecord();
        ui::Id3TagDialog dialog(tag, QStringLiteral("/music/a.wav"));
        QCOMPARE(dialog.field(1, QStringLiteral("Title"))->text(), QStringLiteral("Hold On"));
        QCOMPARE(dialog.genre(1).currentText(), QStringLiteral("Gospel"));
        QVERIFY(dialog.field(1, QStringLiteral("Title"))->isEnabled());
        QVERIFY(!dialog.versionSwitch(2).isChecked());
        QCOMPARE(versionTwoEnabled(dialog), std::optional<bool>(false));
        QVERIFY(dialog.field(2, QStringLiteral("Title"))->text().isEmpty());
        QCOMPARE(dialog.genre(2).currentIndex(), -1);

        dialog.versionSwitch(2).click();
        QCOMPARE(versionTwoEnabled(dialog), std::optional<bool>(true));
        dialog.versionSwitch(1).click();
        QVERIFY(!dialog.field(1, QStringLiteral("Year"))->isEnabled());
        QVERIFY(!dialog.genre(1).isEnabled());
    }

    void aVersionTwoRecordOpensWithItsGenreAndComment() {
        TagInfo tag;
        tag.isV2 = 1;
        tag.Genre2 = 17;
        tag.Comment2 = "first line\nsecond line";
        tag.OriArtist = "Orig";
        ui::Id3TagDialog dialog(tag, QStringLiteral("x"));
        QCOMPARE(dialog.genre(2).currentText(), QStringLiteral("Rock"));
        QCOMPARE(dialog.genre(2).count(), 148);
        QCOMPARE(dialog.genre(2).itemText(147), QStringLiteral("Synthpop"));
        QCOMPARE(dialog.comment2().toPlainText(), QStringLiteral("first line\nsecond line"));
        QCOMPARE(dialog.field(2, QStringLiteral("Orig. Artist"))->text(), QStringLiteral("Orig"));
        QVERIFY(dialog.field(1, QStringLiteral("Title"))->text().isEmpty());
    }

    void trackAndYearTakeDigitsOnly() {
        TagInfo tag = versionOneRecord();
        ui::Id3TagDialog dialog(tag, QStringLiteral("x"));
        QLineEdit* year = dialog.field(1, QStringLiteral("Year"));
        QTest::keyClicks(year, QStringLiteral("19a9-7"));
        QCOMPARE(year->text(), QStringLiteral("1997"));
        QLineEdit* title = dialog.field(1, QStringLiteral("Title"));
        title->clear();
        QTest::keyClicks(title, QStringLiteral("Track 7b"));
        QCOMPARE(title->text(), QStringLiteral("Track 7b"));
    }

    void writeStoresTheCheckedVersionsAndClearsTheOthersFlagOnly() {
        TagInfo tag = versionOneRecord();
        {
            ui::Id3TagDialog dialog(tag, QStringLiteral("x"));
            dialog.versionSwitch(1).click();  // off: its values stay in the record
            dialog.versionSwitch(2).click();
            dialog.field(2, QStringLiteral("Title"))->setText(QStringLiteral("Día de Muertos"));
            dialog.field(2, QStringLiteral("URL"))->setText(QStringLiteral("https://a.example"));
            dialog.comment2().setPlainText(QStringLiteral("two\nlines"));
            dialog.genre(2).setCurrentIndex(8);
            dialog.writeButton().click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(tag.isV1, std::uint8_t(0));
        QCOMPARE(tag.Title1, std::string("Hold On"));
        QCOMPARE(tag.Genre1, 38);
        QCOMPARE(tag.isV2, std::uint8_t(1));
        QCOMPARE(tag.Title2, std::string("Día de Muertos"));
        QCOMPARE(tag.URL, std::string("https://a.example"));
        QCOMPARE(tag.Comment2, std::string("two\nlines"));
        QCOMPARE(tag.Genre2, 8);
        QCOMPARE(tag.Artist2, std::string());  // opened empty, written empty

        // Reopened, version 1 shows empty; checked again and written, it stores those empties.
        ui::Id3TagDialog again(tag, QStringLiteral("x"));
        QVERIFY(again.field(1, QStringLiteral("Title"))->text().isEmpty());
        again.versionSwitch(1).click();
        again.writeButton().click();
        QCOMPARE(tag.isV1, std::uint8_t(1));
        QCOMPARE(tag.Title1, std::string());
        QCOMPARE(tag.Genre1, -1);  // no genre chosen
    }

    void cancelLeavesTheRecordAlone() {
        TagInfo tag = versionOneRecord();
        const TagInfo before = tag;
        ui::Id3TagDialog dialog(tag, QStringLiteral("x"));
        dialog.field(1, QStringLiteral("Title"))->setText(QStringLiteral("changed"));
        dialog.versionSwitch(2).click();
        dialog.reject();
        QCOMPARE(tag, before);
    }
};

const GuiTestRegistration<Id3TagDialogTest> kId3TagDialog;

}  // namespace tonalda::test

#include "id3_tag_dialog_test.moc"
