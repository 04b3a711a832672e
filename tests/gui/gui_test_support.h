#pragma once
// What the widget tests share: a registry of test classes run by one executable, a scratch hive
// with the installer's defaults, and fakes for what the main window hosts.

#include <QWidget>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/program_view.h"
#include "ui/transport.h"

class QObject;

namespace tonalda::test {

std::vector<std::function<std::unique_ptr<QObject>()>>& guiTestClasses();

template <typename T>
struct GuiTestRegistration {
    GuiTestRegistration() {
        guiTestClasses().push_back([] { return std::make_unique<T>(); });
    }
};

// The test process's scratch folder (the hive, the install folder) and its hive file.
const std::filesystem::path& scratchFolder();
std::filesystem::path hiveFile();

// Writes the installer's defaults into a fresh hive, then leaves out the named groups ("OGG",
// "Setup", ...) entirely.
void writeDefaultHive(std::initializer_list<const char*> leftOut = {});
// The install folder the default hive names.
std::filesystem::path installFolder();

// A player whose state the test sets and whose commands it reads back, in order.
class FakePlayer final : public ui::TransportPlayer {
  public:
    void play() override { calls.push_back("play"); }
    void togglePause() override { calls.push_back("pause"); }
    void stop() override {
        calls.push_back("stop");
        playing = false;
    }
    void previous() override { calls.push_back("previous"); }
    void next() override { calls.push_back("next"); }
    void seek(int position) override { calls.push_back("seek " + std::to_string(position)); }
    void suspendTimer() override { calls.push_back("timer stop"); }
    void resumeTimer() override { calls.push_back("timer start"); }
    bool isPlaying() const override { return playing; }
    void setMode(ui::PlayerMode mode) override {
        calls.push_back(mode == ui::PlayerMode::Cd ? "cd mode" : "file mode");
    }
    std::optional<StatusArea> statusLine() const override { return std::nullopt; }

    int count(const std::string& call) const;
    bool playing = false;
    std::vector<std::string> calls;
};

// A view that records what the main window asks of it; `log` may be shared by both views to see
// the order of their questions.
class FakeView final : public QWidget, public ui::TrackRowsView {
  public:
    FakeView(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

    QWidget& widget() override { return *this; }
    bool isPlaying() const override { return playing; }
    bool mayClose() override {
        log_.push_back(name_ + " may close?");
        return agreesToClose;
    }
    void applyDiscArtist(const std::string& artist) override { log_.push_back("artist " + artist); }
    void applyDiscAlbum(const std::string& album) override { log_.push_back("album " + album); }
    void applyDiscGenre(std::int32_t genre) override {
        log_.push_back("genre " + std::to_string(genre));
    }
    void showOutputFormat(std::int32_t format) override {
        log_.push_back("output " + std::to_string(format));
    }
    void rebuildRows() override { log_.push_back("rebuild"); }

    bool agreesToClose = true;
    bool playing = false;

  private:
    std::string name_;
    std::vector<std::string>& log_;
};

}  // namespace tonalda::test
