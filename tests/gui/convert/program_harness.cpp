#include "program_harness.h"

#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "codecs/output_settings.h"
#include "codecs/wav_writer.h"
#include "gui_test_support.h"
#include "platform/registry.h"
#include "support/shared_objects_scope.h"
#include "ui/convert_list_model.h"
#include "ui/convert_view.h"

namespace tonalda::test {

void prepareProgramEnvironment() {
    static const bool prepared = [] {
        // The process-wide engine reads its module and drive list when first used.
        static TempDir moduleFolder;
        setenv("TONALDA_ASPI_LIBRARY", copyVirtualDriveModule(moduleFolder.path()).c_str(), 1);
        setenv("TONALDA_VDRIVE", kTestDisc, 1);
        return true;
    }();
    (void)prepared;
}

PulseServer& soundServer() {
    static PulseServer server;
    return server;
}

void writeToneWav(const std::filesystem::path& file, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    const auto header = wavHeader(frames * 4);
    std::string bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + frames * 4);
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        const auto sample =
            static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * 440.0 * frame / 44100.0));
        for (int channel = 0; channel < 2; ++channel) {
            bytes.push_back(static_cast<char>(sample & 0xFF));
            bytes.push_back(static_cast<char>((sample >> 8) & 0xFF));
        }
    }
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

ProgramHarness::ProgramHarness(bool withSoundServer) {
    prepareProgramEnvironment();
    writeDefaultHive();
    // The encoders load the built modules from the install folder.
    auto setup = Registry::instance().openKey(registryKeyPath("Setup"), RegistryAccess::Write);
    if (setup)
        setup->writeString("path", TONALDA_MODULE_DIR);

    std::optional<std::string> outerServer;
    if (withSoundServer) {
        soundServer();
    } else {
        if (const char* outer = std::getenv("PULSE_SERVER"))
            outerServer = outer;
        setenv("PULSE_SERVER", ("unix:" + (scratch / "no-server").string()).c_str(), 1);
    }
    ui::ProgramHooks hooks;
    hooks.openUrl = [this](const QUrl& url) {
        openedUrls.push_back(url);
        return true;
    };
    window_ = std::make_unique<ui::ProgramWindow>(prompter, std::move(hooks));
    if (!withSoundServer) {
        if (outerServer)
            setenv("PULSE_SERVER", outerServer->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }
    encodeFolder_ = scratch / "encoded";
    // The window loaded the settings: the conversions of this test write to its own folder.
    outputSettings().encodeFolder = encodeFolder_.string();
    window_->show();
}

ProgramHarness::~ProgramHarness() = default;

ui::ConvertView& ProgramHarness::view() {
    return window_->convertView();
}

QString ProgramHarness::wav(const std::string& name, double seconds) {
    const std::filesystem::path file = scratch / name;
    writeToneWav(file, seconds);
    return QString::fromStdString(file.string());
}

QStringList ProgramHarness::addFiles(const std::vector<double>& seconds) {
    window_->showConvertView();
    QStringList paths;
    for (std::size_t i = 0; i < seconds.size(); ++i)
        paths.push_back(wav(std::to_string(i) + " song.wav", seconds[i]));
    view().addFiles(paths);
    return paths;
}

void ProgramHarness::selectRows(const std::vector<int>& rows) {
    QTableView& table = view().table();
    table.clearSelection();
    for (const int row : rows)
        table.selectionModel()->select(table.model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace tonalda::test
