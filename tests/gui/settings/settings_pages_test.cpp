// The Options sheet driven through its widgets off screen: each page's Apply writes its group's
// values in the group's order into a scratch hive whose keys start empty (so the file keeps the
// order of the writes), Reset and Cancel write nothing, and the pages' own rules hold.

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "cdaccess/cd_types.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/misc_settings.h"
#include "codecs/mp3_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/output_settings.h"
#include "codecs/wma_settings.h"
#include "platform/hive_format.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_sheet.h"

namespace tonalda::ui {
namespace {

constexpr const char* kGroups[] = {"MP3", "WMA", "OGG", "CDRom", "Output", "FreeDB", "Misc"};

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename W>
W* byText(QWidget* root, const QString& text, int nth = 0) {
    for (W* widget : root->findChildren<W*>())
        if (widget->text() == text && nth-- == 0)
            return widget;
    qFatal("no control \"%s\"", qPrintable(text));
}

// The field that a label names.
template <typename W>
W* field(QWidget* root, const QString& label, int nth = 0) {
    for (QLabel* candidate : root->findChildren<QLabel*>())
        if (candidate->text() == label && candidate->buddy() && nth-- == 0)
            if (auto* widget = qobject_cast<W*>(candidate->buddy()))
                return widget;
    qFatal("no field labelled \"%s\"", qPrintable(label));
}

// A drop-down list known by its accessible name (the preset lists stand beside radio buttons).
QComboBox* listNamed(QWidget* root, const QString& name) {
    for (QComboBox* list : root->findChildren<QComboBox*>())
        if (list->accessibleName() == name)
            return list;
    qFatal("no list \"%s\"", qPrintable(name));
}

qsizetype labelsReading(QWidget* root, const QString& text) {
    const auto labels = root->findChildren<QLabel*>();
    return std::count_if(labels.begin(), labels.end(),
                         [&](const QLabel* label) { return label->text() == text; });
}

// Clicks near the left edge, on the box or round of a check box or radio button.
void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

template <std::size_t N>
void setField(char (&field)[N], std::string_view text) {
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

CdDriveEntry driveEntry(std::string_view vendor, std::string_view product) {
    CdDriveEntry entry{};
    setField(entry.vendor, vendor);
    setField(entry.product, product);
    setField(entry.revision, "1.00");
    setField(entry.vendorSpecific, "unit");
    return entry;
}

}  // namespace

class SettingsPagesTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init();
    void cleanup();

    void mp3ApplyWritesTheGroupInOrderWithoutThePresetOutsidePresetMode();
    void mp3SliderStoresItsStops();
    void mp3OldStylePresetStudioRoundTrips();
    void wmaApplyWritesTheGroupInOrderAndNeverGenre();
    void oggApplyWritesTheGroupInOrderAndQualityTexts();
    void cdRomApplyWritesTheGroupInOrder();
    void outputApplyWritesTheGroupAndAnnouncesIt();
    void freeDbApplyWritesTheGroupInOrder();
    void miscApplyWritesTheGroupWithTheBrowsedFolder();
    void resetAndCancelWriteNothing();
    void valuesOffTheirControlsShowAsTheyWillBeStored();
    void proxyAndAuthenticationBoxesEnableTheirFields();
    void aFieldThatIsNotAnIntegerStopsEveryWrite();

  private:
    SettingsSheet& openSheet();
    QWidget* showPage(const QString& caption);
    QWidget* openPage(const QString& caption);
    void clickButton(QDialogButtonBox::StandardButton which);
    QStringList stored(const char* group) const;
    QString storedValue(const char* group, const QString& name) const;

    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<Registry> registry_;
    CdDriveList drives_{};
    RecordingPrompter prompter_;
    QStringList chosenFolders_;  // answers of the scripted folder browser, in order
    std::unique_ptr<SettingsSheet> sheet_;
};

void SettingsPagesTest::init() {
    dir_ = std::make_unique<test::TempDir>();
    registry_ = std::make_unique<Registry>(dir_->path() / "registry.reg");
    for (const char* group : kGroups)
        QVERIFY(registry_->createKey(registryKeyPath(group)));

    drives_ = CdDriveList{};
    drives_.capacity = 8;
    drives_.count = 2;
    drives_.drives[0] = driveEntry("ACME    ", "Disc Reader     ");
    drives_.drives[1] = driveEntry("OTHER   ", "Second Drive    ");

    Mp3Settings& mp3 = mp3Settings();
    mp3 = {};
    mp3.Copyright = 1, mp3.Original = 1, mp3.ReSampleRate = 1, mp3.VBRHeader = 1;
    mp3.SampleRate = 3, mp3.Mode = 2, mp3.BPreset = 0, mp3.Preset = 7, mp3.CBitResorvoir = 1;
    mp3.BitRate = 11, mp3.VBR = 1, mp3.VBRQuality = 4, mp3.MinBitRate = 2, mp3.MaxBitRate = 12;
    mp3.ABRBitRate = 128000;

    WmaSettings& wma = wmaSettings();
    wma = {};
    wma.Bitrate = 4, wma.Samplerate = 8, wma.Stereo = 1, wma.Album = 1, wma.Title = 1;
    wma.URL = 1;

    OggSettings& ogg = oggSettings();
    ogg = {};
    ogg.Quality = 35, ogg.Samplerate = 7, ogg.Minrate = 2, ogg.Normrate = 5, ogg.Maxrate = 9;
    ogg.Stereo = 1, ogg.Artist = 1, ogg.Track = 1, ogg.Orgartist = 1;

    CdRomSettings& cdRom = cdRomSettings();
    cdRom = {};
    cdRom.type = 3, cdRom.unit = 1, cdRom.speed = 4, cdRom.blockSize = 20;
    cdRom.jitterCheck = 2, cdRom.overlap = 5, cdRom.onError = 1;

    outputSettings() = {"/music/rips", "/music/converted", 1, 2, 4};

    MiscSettings& misc = miscSettings();
    misc = {};
    misc.autoDetect = 1, misc.toc = 1, misc.autoSave = 1, misc.initRipper = 1;
    misc.tempPath = "/tmp/rip", misc.cddbPath = "/cd/library";

    // The FreeDB record is reached only through a load: seed it from a hive of its own.
    Registry seed(dir_->path() / "seed.reg");
    auto key = seed.createKey(registryKeyPath(kFreeDbGroup));
    for (const auto& [name, number] :
         {std::pair{"auth", 0}, {"Port", 8880}, {"pport", 3128}, {"proxy", 0}, {"Server", 2}})
        key->writeDword(name, number);
    for (const auto& [name, text] : {std::pair{"email", "me@example.org"},
                                     {"pass", "secret"},
                                     {"proxyserver", "proxy.lan"},
                                     {"QueryScript", "/~cddb/cddb.cgi"},
                                     {"SubmitScript", "/~cddb/submit.cgi"},
                                     {"username", "ann"}})
        key->writeString(name, text, false);
    QVERIFY(loadFreeDbSettings(seed));
}

void SettingsPagesTest::cleanup() {
    sheet_.reset();
    registry_.reset();
    dir_.reset();
    chosenFolders_.clear();
}

SettingsSheet& SettingsPagesTest::openSheet() {
    sheet_ = std::make_unique<SettingsSheet>(nullptr, *registry_, drives_, &prompter_);
    sheet_->setFolderChooser([this](QWidget*, const QString&) {
        return chosenFolders_.isEmpty() ? QString() : chosenFolders_.takeFirst();
    });
    sheet_->show();
    if (!QTest::qWaitForWindowExposed(sheet_.get()))
        qFatal("the sheet was not shown");
    return *sheet_;
}

QWidget* SettingsPagesTest::showPage(const QString& caption) {
    auto* tabs = sheet_->findChild<QTabWidget*>();
    for (int index = 0; index < tabs->count(); ++index) {
        if (tabs->tabText(index) == caption) {
            tabs->setCurrentIndex(index);
            return tabs->widget(index);
        }
    }
    qFatal("no page %s", qPrintable(caption));
}

QWidget* SettingsPagesTest::openPage(const QString& caption) {
    openSheet();
    return showPage(caption);
}

void SettingsPagesTest::clickButton(QDialogButtonBox::StandardButton which) {
    QTest::mouseClick(sheet_->findChild<QDialogButtonBox*>()->button(which), Qt::LeftButton);
}

// The group's values in file order as "name=value", numbers as signed 32-bit values.
QStringList SettingsPagesTest::stored(const char* group) const {
    const hive::ParseResult parsed = hive::parse(readFile(registry_->file()));
    QStringList values;
    if (!parsed.document)
        return {QStringLiteral("unreadable hive")};
    const hive::Key* key = parsed.document->find("HKEY_LOCAL_MACHINE\\" + registryKeyPath(group));
    for (const hive::Value& value : key ? key->values : std::vector<hive::Value>{}) {
        QString text;
        if (const auto number = hive::dwordOf(value.data); value.type == hive::kTypeDword)
            text = QString::number(static_cast<std::int32_t>(number.value_or(0)));
        else
            text = QString::fromStdString(value.data).remove(QChar(u'\0'));
        values << QString::fromStdString(value.name) + u'=' + text;
    }
    return values;
}

QString SettingsPagesTest::storedValue(const char* group, const QString& name) const {
    for (const QString& value : stored(group))
        if (value.startsWith(name + u'='))
            return value.mid(name.size() + 1);
    return {};
}

void SettingsPagesTest::mp3ApplyWritesTheGroupInOrderWithoutThePresetOutsidePresetMode() {
    SettingsSheet& sheet = openSheet();
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Options"));
    auto* tabs = sheet.findChild<QTabWidget*>();
    QStringList captions;
    for (int index = 0; index < tabs->count(); ++index)
        captions << tabs->tabText(index);
    QCOMPARE(captions, (QStringList{"MP3", "WMA", "OGG", "CD-Rom", "Output", "FreeDB", "Misc"}));
    QCOMPARE(tabs->currentIndex(), 0);

    QWidget* page = tabs->currentWidget();
    // The stored preset shows greyed while preset mode is off; VBR's lists are the live ones.
    QCOMPARE(field<QComboBox>(page, "VBR Quality")->isEnabled(), true);
    QCOMPARE(field<QComboBox>(page, "Constant Bitrate")->isEnabled(), false);
    auto* newStyle = byText<QRadioButton>(page, "New Style");
    QVERIFY(newStyle->isChecked() && !newStyle->isEnabled());

    click(byText<QCheckBox>(page, "Enable CRC"));
    clickButton(QDialogButtonBox::Apply);
    QCOMPARE(stored("MP3"),
             (QStringList{"Copyright=1", "CRC=1", "Original=1", "Private=0", "ReSampleRate=1",
                          "VBRHeader=1", "SampleRate=3", "Mode=2", "BPreset=0", "CBR=0",
                          "CBitResorvoir=1", "BitRate=11", "VBR=1", "VBRQuality=4", "MinBitRate=2",
                          "MaxBitRate=12", "ABR=0", "ABitResorvoir=0", "ABRBitRate=128000"}));
    // Only the page that was shown wrote its group.
    QCOMPARE(stored("WMA"), QStringList{});
}

void SettingsPagesTest::mp3SliderStoresItsStops() {
    QWidget* page = openPage("MP3");
    auto* slider = field<QSlider>(page, "Average Bit Rate");
    QVERIFY(!slider->isEnabled());
    click(byText<QPushButton>(page, "Enable ABR"));
    QVERIFY(slider->isEnabled());
    QVERIFY(!field<QComboBox>(page, "VBR Quality")->isEnabled());

    const struct {
        Qt::Key key;
        const char* rate;
    } stops[] = {{Qt::Key_Home, "8000"}, {Qt::Key_Right, "8010"}, {Qt::Key_End, "320000"}};
    for (const auto& stop : stops) {
        QTest::keyClick(slider, stop.key);
        QCOMPARE(labelsReading(page, stop.rate), 1);  // the rate text shows what is stored
        clickButton(QDialogButtonBox::Apply);
        QCOMPARE(storedValue("MP3", "ABRBitRate"), QString(stop.rate));
    }
    QCOMPARE(storedValue("MP3", "ABR"), QStringLiteral("1"));
    QCOMPARE(storedValue("MP3", "VBR"), QStringLiteral("0"));
}

void SettingsPagesTest::mp3OldStylePresetStudioRoundTrips() {
    QWidget* page = openPage("MP3");
    click(byText<QPushButton>(page, "Enable Preset"));
    click(byText<QRadioButton>(page, "Old Style"));
    QComboBox* oldStyleList = listNamed(page, "Old Style");
    QVERIFY(oldStyleList->isEnabled());
    QVERIFY(!listNamed(page, "New Style")->isEnabled());
    oldStyleList->setCurrentIndex(oldStyleList->findText("STUDIO"));
    clickButton(QDialogButtonBox::Ok);
    QVERIFY(!sheet_->isVisible());
    QStringList mp3 = stored("MP3");
    QCOMPARE(mp3.mid(8, 3), (QStringList{"BPreset=1", "Preset=22", "CBR=0"}));
    QCOMPARE(mp3Settings().Preset, 22);

    // Reopened: preset mode with "STUDIO"; then CBR keeps the stored preset, shown greyed.
    page = openPage("MP3");
    QVERIFY(byText<QPushButton>(page, "Enable Preset")->isChecked());
    QVERIFY(byText<QRadioButton>(page, "Old Style")->isChecked());
    oldStyleList = listNamed(page, "Old Style");
    QCOMPARE(oldStyleList->currentText(), QStringLiteral("STUDIO"));
    QVERIFY(oldStyleList->isEnabled());
    click(byText<QPushButton>(page, "Enable CBR"));
    QVERIFY(!oldStyleList->isEnabled());
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(storedValue("MP3", "BPreset"), QStringLiteral("0"));
    QCOMPARE(storedValue("MP3", "Preset"), QStringLiteral("22"));
    QCOMPARE(storedValue("MP3", "CBR"), QStringLiteral("1"));
}

void SettingsPagesTest::wmaApplyWritesTheGroupInOrderAndNeverGenre() {
    QWidget* page = openPage("WMA");
    click(byText<QRadioButton>(page, "Mono"));
    click(byText<QCheckBox>(page, "Year"));
    click(byText<QCheckBox>(page, "Genre"));
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(stored("WMA"),
             (QStringList{"Copyright=0", "Album=1", "Artist=0", "Comment=0", "Composer=0",
                          "Encodedby=0", "Title=1", "Track=0", "URL=1", "Year=1", "Orgartist=0",
                          "DRM=0", "Mono=1", "Stereo=0", "Bitrate=4", "Samplerate=8"}));

    QVERIFY(!byText<QCheckBox>(openPage("WMA"), "Genre")->isChecked());
}

void SettingsPagesTest::oggApplyWritesTheGroupInOrderAndQualityTexts() {
    QWidget* page = openPage("OGG");
    auto* quality = field<QSlider>(page, "Quality");
    auto* minimal = field<QComboBox>(page, "Minimal Bitrate");
    QVERIFY(!quality->isEnabled() && minimal->isEnabled());
    QCOMPARE(labelsReading(page, "3.5"), 1);

    click(byText<QCheckBox>(page, "Use VBR quality mode"));
    QVERIFY(quality->isEnabled() && !minimal->isEnabled());
    const struct {
        Qt::Key key;
        int presses;
        const char* text;
    } moves[] = {{Qt::Key_Home, 1, "0.0"},
                 {Qt::Key_Right, 5, "0.5"},
                 {Qt::Key_End, 1, "10.0"},
                 {Qt::Key_Left, 1, "9.9"}};
    for (const auto& move : moves) {
        for (int press = 0; press < move.presses; ++press)
            QTest::keyClick(quality, move.key);
        // The ends of the scale read "0.0" and "10.0" themselves.
        const bool atAnEnd = QString(move.text) == "0.0" || QString(move.text) == "10.0";
        QCOMPARE(labelsReading(page, move.text), atAnEnd ? 2 : 1);
    }
    clickButton(QDialogButtonBox::Apply);
    // Greyed bitrate lists keep their selections and are stored.
    QCOMPARE(stored("OGG"),
             (QStringList{"Copyright=0", "Album=0", "Artist=1", "Comment=0", "Composer=0",
                          "Encodedby=0", "Title=0", "Track=1", "URL=0", "Year=0", "Orgartist=1",
                          "Mono=0", "Stereo=1", "Minrate=2", "Normrate=5", "Maxrate=9",
                          "Samplerate=7", "Quality=99", "VBR=1"}));
}

void SettingsPagesTest::cdRomApplyWritesTheGroupInOrder() {
    QWidget* page = openPage("CD-Rom");
    auto* unit = field<QComboBox>(page, "Unit:");
    QCOMPARE(unit->count(), 2);
    QCOMPARE(unit->currentText(), QStringLiteral("OTHER    Second Drive     1.00 unit"));
    typeInto(field<QLineEdit>(page, "Overlap"), "7");
    clickButton(QDialogButtonBox::Apply);
    QCOMPARE(stored("CDRom"), (QStringList{"Unit=1", "Type=3", "Always=0", "Never=0", "Onerr=1",
                                           "Speed=4", "Jitter=2", "Overlap=7", "Buffer=20"}));
}

void SettingsPagesTest::outputApplyWritesTheGroupAndAnnouncesIt() {
    SettingsSheet& sheet = openSheet();
    QSignalSpy announced(&sheet, &SettingsSheet::outputSettingsApplied);
    QWidget* page = showPage("Output");
    auto* ripFolder = field<QComboBox>(page, "Output Folder");
    QCOMPARE(ripFolder->count(), 1);
    chosenFolders_ = {QString()};  // cancelled: nothing changes
    QTest::mouseClick(byText<QPushButton>(page, "Change..."), Qt::LeftButton);
    QCOMPARE(ripFolder->count(), 1);
    chosenFolders_ = {"/new/rips"};
    QTest::mouseClick(byText<QPushButton>(page, "Change..."), Qt::LeftButton);
    QCOMPARE(ripFolder->count(), 2);
    field<QComboBox>(page, "Output Format")->setCurrentIndex(3);
    QCOMPARE(announced.count(), 0);
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(stored("Output"), (QStringList{"Rippath=/new/rips", "Encodepath=/music/converted",
                                            "Subfloder=4", "filename=2", "format=3"}));
    QCOMPARE(announced.count(), 1);
    QCOMPARE(outputSettings().format, 3);  // reloaded before the announcement went out
}

void SettingsPagesTest::freeDbApplyWritesTheGroupInOrder() {
    QWidget* page = openPage("FreeDB");
    QCOMPARE(field<QComboBox>(page, "FreeDB Server")->currentIndex(), 2);
    typeInto(field<QLineEdit>(page, "Email"), "you@example.org");
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(stored("FreeDB"),
             (QStringList{"Server=2", "Port=8880", "QueryScript=/~cddb/cddb.cgi",
                          "SubmitScript=/~cddb/submit.cgi", "email=you@example.org", "proxy=0",
                          "proxyserver=proxy.lan", "pport=3128", "auth=0", "username=ann",
                          "pass=secret"}));
    QCOMPARE(freeDbSettings().email, "you@example.org");
}

void SettingsPagesTest::miscApplyWritesTheGroupWithTheBrowsedFolder() {
    QWidget* page = openPage("Misc");
    auto* library = field<QComboBox>(page, "Local CD Lib Folder");
    auto* temp = field<QComboBox>(page, "Temp Folder");
    // The temporary folder's list grows longer; the library's choice still lands in its own.
    chosenFolders_ = {"/t1", "/t2", "/chosen/library"};
    QTest::mouseClick(byText<QPushButton>(page, "Change..."), Qt::LeftButton);
    QTest::mouseClick(byText<QPushButton>(page, "Change..."), Qt::LeftButton);
    QTest::mouseClick(byText<QPushButton>(page, "Change...", 1), Qt::LeftButton);
    QCOMPARE(temp->count(), 2);
    QCOMPARE(library->count(), 1);
    QCOMPARE(library->currentText(), QStringLiteral("/chosen/library"));
    click(byText<QRadioButton>(page, "Encoder"));
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(stored("Misc"),
             (QStringList{"Temppath=/t2", "CDDBpath=/chosen/library", "AutoDetect=1", "ASPI=0",
                          "Passthru=0", "TOC=1", "AutoRead=0", "AutoSave=1", "InitEnc=1",
                          "InitRipper=0"}));
}

void SettingsPagesTest::resetAndCancelWriteNothing() {
    const std::string before = readFile(registry_->file());
    openSheet();
    QWidget* page = nullptr;
    for (const char* caption : {"MP3", "WMA", "OGG", "Output", "FreeDB", "Misc", "CD-Rom"})
        page = showPage(caption);
    click(byText<QRadioButton>(page, "Always"));
    QTest::mouseClick(byText<QPushButton>(page, "Reset"), Qt::LeftButton);
    QCOMPARE(field<QLineEdit>(page, "Reading buffer size(frames)")->text(), QStringLiteral("26"));
    QCOMPARE(field<QLineEdit>(page, "Jitter Check")->text(), QStringLiteral("1"));
    QCOMPARE(field<QLineEdit>(page, "Overlap")->text(), QStringLiteral("3"));
    QVERIFY(byText<QRadioButton>(page, "Never")->isChecked());
    QVERIFY(!byText<QRadioButton>(page, "Always")->isChecked());
    QVERIFY(!field<QLineEdit>(page, "Overlap")->isEnabled());
    QCOMPARE(readFile(registry_->file()), before);

    clickButton(QDialogButtonBox::Cancel);
    QCOMPARE(sheet_->result(), int(QDialog::Rejected));
    QCOMPARE(readFile(registry_->file()), before);
    QCOMPARE(cdRomSettings().blockSize, 20);
}

void SettingsPagesTest::valuesOffTheirControlsShowAsTheyWillBeStored() {
    Mp3Settings& mp3 = mp3Settings();
    mp3.BPreset = 1, mp3.Preset = 30, mp3.CBR = 1, mp3.VBR = 0;  // a preset off both lists
    wmaSettings().Stereo = 0;                                    // no channel choice
    cdRomSettings().unit = 2;                                    // one past the two drives
    Registry seed(dir_->path() / "seed.reg");
    auto key = seed.openKey(registryKeyPath(kFreeDbGroup), RegistryAccess::Write);
    key->writeDword("Server", 9);  // off the server list
    key->writeDword("proxy", 7);
    key->writeDword("auth", 2);
    QVERIFY(loadFreeDbSettings(seed));

    QWidget* page = openPage("MP3");
    QVERIFY(!byText<QPushButton>(page, "Enable Preset")->isChecked());
    QVERIFY(byText<QPushButton>(page, "Enable CBR")->isChecked());
    QVERIFY(!byText<QRadioButton>(page, "New Style")->isEnabled());
    QCOMPARE(listNamed(page, "New Style")->currentIndex(), -1);
    QCOMPARE(listNamed(page, "Old Style")->currentIndex(), -1);
    page = showPage("WMA");
    QVERIFY(!byText<QRadioButton>(page, "Mono")->isChecked());
    QVERIFY(!byText<QRadioButton>(page, "Stereo")->isChecked());
    page = showPage("FreeDB");
    QCOMPARE(field<QComboBox>(page, "FreeDB Server")->currentIndex(), -1);
    QVERIFY(!byText<QCheckBox>(page, "Use Proxy")->isChecked());
    QVERIFY(byText<QCheckBox>(page, "Authentication ")->isChecked());
    QVERIFY(field<QLineEdit>(page, "User Name")->isEnabled());
    QCOMPARE(field<QComboBox>(showPage("CD-Rom"), "Unit:")->currentIndex(), -1);

    clickButton(QDialogButtonBox::Apply);
    const QStringList modes = stored("MP3").filter(QRegularExpression("^(BPreset|CBR|VBR|ABR)="));
    QCOMPARE(modes, (QStringList{"BPreset=0", "CBR=1", "VBR=0", "ABR=0"}));
    QCOMPARE(storedValue("WMA", "Mono") + storedValue("WMA", "Stereo"), QStringLiteral("00"));
    QCOMPARE(storedValue("FreeDB", "proxy"), QStringLiteral("0"));
    QCOMPARE(storedValue("FreeDB", "auth"), QStringLiteral("1"));
    // No selection is stored as -1.
    QCOMPARE(storedValue("FreeDB", "Server"), QStringLiteral("-1"));
    QCOMPARE(storedValue("CDRom", "Unit"), QStringLiteral("-1"));
}

void SettingsPagesTest::proxyAndAuthenticationBoxesEnableTheirFields() {
    QWidget* page = openPage("FreeDB");
    QLineEdit* proxyFields[] = {field<QLineEdit>(page, "Proxy Server"),
                                field<QLineEdit>(page, "PORT")};
    QLineEdit* authFields[] = {field<QLineEdit>(page, "User Name"),
                               field<QLineEdit>(page, "Password ")};
    const auto enabled = [](QLineEdit* const(&fields)[2]) {
        return fields[0]->isEnabled() + fields[1]->isEnabled();
    };
    QCOMPARE(enabled(proxyFields), 0);
    QCOMPARE(enabled(authFields), 0);
    click(byText<QCheckBox>(page, "Use Proxy"));
    QCOMPARE(enabled(proxyFields), 2);
    QCOMPARE(enabled(authFields), 0);
    click(byText<QCheckBox>(page, "Authentication "));
    QCOMPARE(enabled(authFields), 2);
    QCOMPARE(authFields[1]->echoMode(), QLineEdit::Password);
    click(byText<QCheckBox>(page, "Use Proxy"));
    QCOMPARE(enabled(proxyFields), 0);
    QCOMPARE(enabled(authFields), 2);
}

void SettingsPagesTest::aFieldThatIsNotAnIntegerStopsEveryWrite() {
    const std::string before = readFile(registry_->file());
    QWidget* freeDb = openPage("FreeDB");
    auto* port = field<QLineEdit>(freeDb, "Port");
    typeInto(port, "8a0b");
    QCOMPARE(port->text(), QStringLiteral("80"));  // digits only while typing
    typeInto(port, "");
    showPage("Misc");
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(prompter_.texts(), std::vector<std::string>{"Please enter an integer."});
    QVERIFY(sheet_->isVisible());
    QCOMPARE(sheet_->findChild<QTabWidget*>()->currentWidget(), freeDb);
    QCOMPARE(readFile(registry_->file()), before);

    typeInto(port, "99999999999");  // beyond a 32-bit number
    clickButton(QDialogButtonBox::Ok);
    QCOMPARE(prompter_.texts().size(), 2u);
    QCOMPARE(readFile(registry_->file()), before);

    typeInto(port, "888");
    clickButton(QDialogButtonBox::Ok);
    QVERIFY(!sheet_->isVisible());
    QCOMPARE(storedValue("FreeDB", "Port"), QStringLiteral("888"));
}

}  // namespace tonalda::ui

QTEST_MAIN(tonalda::ui::SettingsPagesTest)
#include "settings_pages_test.moc"
