#pragma once
// The program's window as the user has it, for the tests of this folder: a fresh hive with the
// installer's defaults and the built encoder modules, the real engine behind the views, a private
// sound server, the virtual drive holding a short generated disc, scripted message boxes, and WAV
// files to add.

#include <QString>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/prompter.h"
#include "support/pulse_server.h"
#include "support/temp_dir.h"
#include "ui/program_window.h"

namespace tonalda::ui {
class ConvertView;
}

namespace tonalda::test {

// The disc in the virtual drive: tracks of 5, 12 and 7 seconds starting at 00:02:00, 00:07:00
// and 00:19:00, the lead-out at 00:26:00 (LBA 0, 375, 1275, 1800).
inline constexpr const char* kTestDisc =
    "gen:seed 5/track audio 0:05/track audio 0:12/track audio 0:07,noaudio";

// Sets up what the engine reads once per process (the virtual drive). Call before any window.
void prepareProgramEnvironment();

// The test executable's sound server, started by the first test that asks for it.
PulseServer& soundServer();

// A canonical CD-audio WAV file of a tone, `seconds` long.
void writeToneWav(const std::filesystem::path& file, double seconds);

class ProgramHarness {
  public:
    // Without a sound server the window is made while $PULSE_SERVER names nothing.
    explicit ProgramHarness(bool withSoundServer = true);
    ~ProgramHarness();
    ProgramHarness(const ProgramHarness&) = delete;
    ProgramHarness& operator=(const ProgramHarness&) = delete;

    ui::ProgramWindow& window() { return *window_; }
    // Ends the program's window as the program's end would, without asking its views.
    void destroyWindow() { window_.reset(); }
    ui::ConvertView& view();
    // Shows the convert view and adds WAV files of these lengths in seconds, named
    // "<index> <name>.wav" in the scratch folder; returns their paths.
    QStringList addFiles(const std::vector<double>& seconds);
    // A WAV file of that length in the scratch folder.
    QString wav(const std::string& name, double seconds);
    // Selects exactly these rows of the convert list.
    void selectRows(const std::vector<int>& rows);
    // Where the conversions write.
    const std::filesystem::path& encodeFolder() const { return encodeFolder_; }

    RecordingPrompter prompter;
    std::vector<QUrl> openedUrls;
    TempDir scratch;

  private:
    std::filesystem::path encodeFolder_;
    std::unique_ptr<ui::ProgramWindow> window_;
};

}  // namespace tonalda::test
