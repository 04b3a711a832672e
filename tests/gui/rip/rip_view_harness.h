#pragma once
// One rip view in its main window on the real engine: a virtual drive of the test's own, a hive
// with the installer's defaults and the test's folders (files keep their track names and land in
// the rip folder itself), the program's window over them, and a prompter that records every message
// and answers from a script.

#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cdaccess/cd_engine.h"
#include "gui_test_support.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "rip/disc_session.h"
#include "support/shared_objects_scope.h"
#include "support/temp_dir.h"
#include "ui/bitmap_button.h"
#include "ui/main_window.h"
#include "ui/program_window.h"
#include "ui/rip/rip_view.h"
#include "ui/rip/track_rows_model.h"

namespace tonalda::test {

inline void writeHiveDword(const char* group, const char* name, std::uint32_t value) {
    Registry::instance()
        .openKey(registryKeyPath(group), RegistryAccess::Write)
        ->writeDword(name, value);
}

inline void writeHiveString(const char* group, const char* name, const std::string& value) {
    Registry::instance()
        .openKey(registryKeyPath(group), RegistryAccess::Write)
        ->writeString(name, value);
}

// The regular files under a folder, sorted.
inline std::vector<std::filesystem::path> filesUnder(const std::filesystem::path& folder) {
    return regularFilesUnder(folder);
}

class RipViewHarness {
  public:
    // drives: the virtual drives ($TONALDA_VDRIVE). adjustHive runs after the defaults are
    // written and the folders made, before the window reads them.
    explicit RipViewHarness(const std::string& drives,
                            const std::function<void(RipViewHarness&)>& adjustHive = {})
        : shared_("ripview") {
        setenv("TONALDA_VDRIVE", drives.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        CdEngineOptions options;
        options.aspiLibrary = copyVirtualDriveModule(dir_ / "module").string();
        engine_ = std::make_unique<CdEngine>(options);

        writeDefaultHive();
        writeHiveString("Setup", "path", TONALDA_MODULE_DIR);
        writeHiveString("Output", "Rippath", ripFolder().string());
        writeHiveDword("Output", "filename", 0);
        writeHiveDword("Output", "Subfloder", 0);
        writeHiveString("Misc", "Temppath", tempFolder().string());
        writeHiveString("Misc", "CDDBpath", libraryFolder().string());
        for (const auto& folder : {ripFolder(), tempFolder(), libraryFolder()})
            std::filesystem::create_directories(folder);
        if (adjustHive)
            adjustHive(*this);

        ui::ProgramHooks hooks;
        hooks.openUrl = [this](const QUrl& url) {
            openedUrls.push_back(url);
            return true;
        };
        hooks.chooseFile = chooser();
        window_ = std::make_unique<ui::ProgramWindow>(prompter, std::move(hooks), *engine_);
        window_->show();
        if (!QTest::qWaitForWindowExposed(window_.get()))
            qWarning("the main window was not shown");
        QTest::qWait(10);  // what the start-up posted (library titles) arrives
    }

    ~RipViewHarness() {
        window_.reset();
        engine_.reset();
        unsetenv("TONALDA_VDRIVE");
    }

    ui::ProgramWindow& window() { return *window_; }
    ui::RipView& view() { return window_->ripView(); }
    DiscSession& disc() { return window_->discSession(); }
    CdEngine& engine() { return *engine_; }
    // The segment dialog's Save As: records the filter and answers chosenFile.
    ui::SaveFileChooser chooser() {
        return [this](QWidget*, const QString&, const QString& filter, const QString& suffix) {
            chooserFilters.push_back(filter + QStringLiteral(" ") + suffix);
            return chosenFile;
        };
    }

    std::filesystem::path ripFolder() const { return dir_ / "rip"; }
    std::filesystem::path tempFolder() const { return dir_ / "temp"; }
    std::filesystem::path libraryFolder() const { return dir_ / "library"; }
    const TempDir& dir() const { return dir_; }

    std::vector<std::string> column(int column) const {
        std::vector<std::string> texts;
        for (const TrackRow& row : window_->discSession().rows())
            texts.push_back(row.text[static_cast<std::size_t>(column)]);
        return texts;
    }

    // Checks exactly the given rows.
    void check(std::initializer_list<int> rows) {
        disc().clear();
        for (const int row : rows)
            disc().setChecked(row, true);
    }

    // Lets the events run until the view has shown the end of its rip.
    bool waitForRipEnd(int milliseconds = 60000) {
        return QTest::qWaitFor([this] { return !view().ripping(); }, milliseconds);
    }

    // START STOP UNIT on the drive at `unit`: the tray opens (eject) or closes (load).
    void moveTray(int unit, bool load) {
        CdDriveList drives = disc().drives();
        ScsiCommand command;
        command.cdb = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(load ? 0x03 : 0x02)};
        command.cdbLength = 6;
        QCOMPARE(engine_->executeScsi(drives.drives[unit].address(), command), 1);
    }

    RecordingPrompter prompter;
    std::vector<QUrl> openedUrls;
    std::vector<QString> chooserFilters;
    QString chosenFile;

  private:
    TempDir dir_;
    SharedObjectsScope shared_;
    std::unique_ptr<CdEngine> engine_;
    std::unique_ptr<ui::ProgramWindow> window_;
};

// The texts of the prompts so far that start with `start`.
inline int promptsStartingWith(const RecordingPrompter& prompter, const std::string& start) {
    int count = 0;
    for (const std::string& text : prompter.texts())
        count += text.rfind(start, 0) == 0 ? 1 : 0;
    return count;
}

}  // namespace tonalda::test
