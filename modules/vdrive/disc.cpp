#include "disc.h"

#include <algorithm>
#include <filesystem>

#include "cue_disc.h"
#include "generated_disc.h"
#include "sector.h"
#include "wav_folder_disc.h"

namespace tonalda::vdrive {

int32_t Disc::regionStart(size_t index) const {
    if (index == 0) {
        return 0;
    }
    const TrackInfo& t = tracks_[index];
    return t.pregapLba >= 0 ? t.pregapLba : t.startLba;
}

const TrackInfo& Disc::trackAt(int32_t lba) const {
    size_t low = 0;
    size_t high = tracks_.size();
    while (high - low > 1) {
        const size_t middle = (low + high) / 2;
        if (regionStart(middle) <= lba) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return tracks_[low];
}

void Disc::setLayout(std::vector<TrackInfo> tracks, int32_t leadOut) {
    if (tracks.empty()) {
        throw DiscError("the disc has no tracks");
    }
    if (tracks.size() > 99) {
        throw DiscError("the disc has " + std::to_string(tracks.size()) + " tracks (at most 99)");
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        const int32_t next = i + 1 < tracks.size() ? tracks[i + 1].startLba : leadOut;
        if (tracks[i].startLba < 0 || next <= tracks[i].startLba ||
            tracks[i].pregapLba > tracks[i].startLba ||
            (i > 0 && tracks[i].pregapLba >= 0 && tracks[i].pregapLba <= tracks[i - 1].startLba)) {
            throw DiscError("track " + std::to_string(tracks[i].number) + " has no frames");
        }
    }
    if (leadOut > kMaxDiscFrames) {
        throw DiscError("the disc is longer than 99 minutes");
    }
    tracks_ = std::move(tracks);
    leadOut_ = leadOut;
}

std::unique_ptr<Disc> openDisc(const std::string& source) {
    namespace fs = std::filesystem;
    if (source.rfind("gen:", 0) == 0) {
        return std::make_unique<GeneratedDisc>(parseDiscDescription(source.substr(4), "gen:"));
    }
    std::error_code ec;
    const fs::path path(source);
    if (fs::is_directory(path, ec)) {
        return openWavFolder(path);
    }
    if (!fs::exists(path, ec)) {
        throw DiscError(source + ": no such file or folder");
    }
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".cue") {
        return openCueSheet(path);
    }
    return std::make_unique<GeneratedDisc>(loadDiscDescription(path));
}

}  // namespace tonalda::vdrive
