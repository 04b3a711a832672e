// The convert view with files, during a conversion, and the file player playing one of them,
// each in the program's real window over the real engine (the encoder modules, a private sound
// server for the player).

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <iostream>

#include "codecs/output_settings.h"
#include "codecs/wav_writer.h"
#include "platform/registry.h"
#include "screenshots/scene.h"
#include "support/pulse_server.h"
#include "ui/convert_view.h"
#include "ui/id3_tag_dialog.h"
#include "ui/player_adapter.h"
#include "ui/program_window.h"
#include "ui/text_progress_bar.h"

namespace tonalda::screenshots {

namespace {

// Files of these names and lengths, as a user might gather them.
struct SampleFile {
    const char* name;
    int seconds;
};

constexpr SampleFile kFiles[] = {
    {"01 Overture.wav", 4},
    {"02 A Very Long Title That Does Not Fit Its Column (Extended Version).wav", 40},
    {"03 東京の夜.wav", 8},
    {"04 Señorita – Live.wav", 6},
    {"05 Interlude.wav", 2},
    {"06 Finale.wav", 12},
};

// A CD-audio WAV file: a quiet tone for its first seconds and silence after, so that long files
// cost little to write.
void writeSample(const std::filesystem::path& file, int seconds) {
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds) * 44100;
    const auto header = wavHeader(frames * 4);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    std::vector<std::int16_t> tone(2 * 44100);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>((i / 2) % 100 < 50 ? 3000 : -3000);
    out.write(reinterpret_cast<const char*>(tone.data()),
              static_cast<std::streamsize>(tone.size() * sizeof tone[0]));
    out.close();
    std::filesystem::resize_file(file, header.size() + std::uintmax_t{frames} * 4);
}

// The program's window on its convert view, with the sample files added. The encoders come
// from the build.
std::unique_ptr<ui::ProgramWindow> convertWindow(SceneSetup& setup) {
    if (auto key = Registry::instance().openKey(registryKeyPath("Setup"), RegistryAccess::Write))
        key->writeString("path", TONALDA_MODULE_DIR);
    ui::ProgramHooks hooks;
    hooks.runOptionsSheet = [](ui::MainWindow&, const CdDriveList&) {
    };  // the button as the program shows it
    auto window = std::make_unique<ui::ProgramWindow>(setup.prompter, std::move(hooks));
    outputSettings().encodeFolder = (setup.scratch / "encoded").string();
    window->showConvertView();
    const std::filesystem::path folder = setup.scratch / "music";
    std::filesystem::create_directories(folder);
    QStringList paths;
    for (const SampleFile& sample : kFiles) {
        const std::filesystem::path file = folder / std::filesystem::u8path(sample.name);
        writeSample(file, sample.seconds);
        paths.push_back(QString::fromStdString(file.string()));
    }
    window->convertView().addFiles(paths);
    return window;
}

void selectRow(ui::ConvertView& view, int row) {
    QTableView& table = view.table();
    table.selectionModel()->select(table.model()->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

const SceneRegistration kFilesAdded("convert-view", [](SceneSetup& setup) {
    auto window = convertWindow(setup);
    selectRow(window->convertView(), 2);
    return window;
});

const SceneRegistration kEncoding("convert-view-encoding", [](SceneSetup& setup) {
    auto window = convertWindow(setup);
    ui::ConvertView& view = window->convertView();
    view.run(ui::ConvertView::Command::Mp3);
    // Caught while the long second file is a third done.
    const bool caught = QTest::qWaitFor(
        [&view] {
            const auto bar = view.progressBars().find(1);
            return bar != view.progressBars().end() && bar->second->position() >= 330;
        },
        60000);
    if (!caught)
        std::cerr << "tonalda-screenshots: the conversion did not reach the second file\n";
    return window;
});

// The file player needs a sound server: a private one with a silent output.
const SceneRegistration kPlaying("convert-view-playing", [](SceneSetup& setup) {
    static test::PulseServer server;
    auto window = convertWindow(setup);
    ui::ConvertView& view = window->convertView();
    selectRow(view, 1);
    window->handleMessage(UM_PLAY_TRACK);
    // 23 seconds into the 40 of the file, as the clock would have it.
    for (int second = 0; second < 23; ++second)
        window->playerAdapter().tick();
    return window;
});

// The tag editor on a record with both versions, the second one's comment over two lines.
const SceneRegistration kTagEditor("id3-tag-dialog", [](SceneSetup&) {
    static TagInfo tag;
    tag.isV1 = 1;
    tag.isV2 = 1;
    tag.Track1 = tag.Track2 = "3";
    tag.Title1 = "Tokyo no Yoru";
    tag.Title2 = "東京の夜";
    tag.Artist1 = tag.Artist2 = "Señorita Ensemble";
    tag.Album1 = tag.Album2 = "Live at the Budokan – Remastered Deluxe Edition";
    tag.Year1 = tag.Year2 = "1998";
    tag.Genre1 = tag.Genre2 = 24;
    tag.Comment1 = "Ripped with care";
    tag.Comment2 = "Recorded live.\nMixed in 2024.";
    tag.Composer = "R. Sakamoto";
    tag.URL = "https://example.org/tokyo";
    tag.EncodeBy = "Tonalda";
    return std::make_unique<ui::Id3TagDialog>(
        tag, QStringLiteral("/home/user/Music/Live/03 東京の夜.wav"));
});

}  // namespace

}  // namespace tonalda::screenshots
