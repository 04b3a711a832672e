#include "wav_folder_disc.h"

#include <algorithm>
#include <cctype>

#include "image_disc.h"
#include "sector.h"
#include "wav_format.h"

namespace tonalda::vdrive {

std::unique_ptr<Disc> openWavFolder(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".wav" && entry.is_regular_file(ec)) {
            names.push_back(entry.path());
        }
    }
    if (ec) {
        throw DiscError(folder.string() + ": cannot list the folder (" + ec.message() + ")");
    }
    if (names.empty()) {
        throw DiscError(folder.string() + ": the folder holds no WAV files");
    }
    if (names.size() > 99) {
        throw DiscError(folder.string() + ": more than 99 WAV files");
    }
    std::sort(names.begin(), names.end());
    std::vector<PosixFile> files;
    ImageLayout layout;
    int64_t lba = 0;
    for (const auto& name : names) {
        files.emplace_back(name);
        const PosixFile& file = files.back();
        const WavData data =
            locateWavData([&file](uint64_t offset, uint8_t* buffer,
                                  size_t size) { return file.readAt(offset, buffer, size); },
                          file.size(), name.string());
        // A track's last partial frame is padded with silence, as a burned disc has it.
        const uint64_t frames = (data.bytes + kFrameBytes - 1) / kFrameBytes;
        if (frames == 0) {
            throw DiscError(name.string() + ": the file holds no samples");
        }
        if (lba + static_cast<int64_t>(frames) > kMaxDiscFrames) {
            throw DiscError(folder.string() + ": the files last longer than 99 minutes");
        }
        const int number = static_cast<int>(layout.tracks.size() + 1);
        layout.tracks.push_back({number, static_cast<int32_t>(lba), -1, SectorKind::Audio, 0});
        layout.segments.push_back({static_cast<int32_t>(lba), static_cast<int32_t>(frames),
                                   static_cast<int>(files.size() - 1), data.offset,
                                   data.offset + data.bytes, kFrameBytes, SectorKind::Audio});
        lba += static_cast<int64_t>(frames);
    }
    layout.leadOut = static_cast<int32_t>(lba);
    return std::make_unique<ImageDisc>(std::move(files), std::move(layout));
}

}  // namespace tonalda::vdrive
