#pragma once
// Builds READ TOC replies in MSF form for tests.

#include <cstdint>
#include <cstring>
#include <vector>

#include "cdaccess/cd_types.h"

namespace tonalda::test {

struct TocTrack {
    std::uint32_t lba;
    bool data = false;
};

inline void setMsf(TocTrackDescriptor& descriptor, std::uint32_t lba) {
    const std::uint32_t frames = lba + kLeadInFrames;
    descriptor.address[0] = 0;
    descriptor.address[1] = static_cast<std::uint8_t>(frames / (60 * kFramesPerSecond));
    descriptor.address[2] = static_cast<std::uint8_t>(frames / kFramesPerSecond % 60);
    descriptor.address[3] = static_cast<std::uint8_t>(frames % kFramesPerSecond);
}

inline void setMsf(TocTrackDescriptor& descriptor, int minute, int second, int frame) {
    descriptor.address[0] = 0;
    descriptor.address[1] = static_cast<std::uint8_t>(minute);
    descriptor.address[2] = static_cast<std::uint8_t>(second);
    descriptor.address[3] = static_cast<std::uint8_t>(frame);
}

// A table in MSF form whose tracks are numbered from firstTrack on.
inline DiscToc makeMsfToc(int firstTrack, const std::vector<TocTrack>& tracks,
                          std::uint32_t leadOutLba) {
    DiscToc toc;
    std::memset(&toc, 0, sizeof toc);
    const std::size_t length = 2 + (tracks.size() + 1) * sizeof(TocTrackDescriptor);
    toc.dataLength[0] = static_cast<std::uint8_t>(length >> 8);
    toc.dataLength[1] = static_cast<std::uint8_t>(length);
    toc.firstTrack = static_cast<std::uint8_t>(firstTrack);
    toc.lastTrack = static_cast<std::uint8_t>(firstTrack + static_cast<int>(tracks.size()) - 1);
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        toc.tracks[k].adrControl = tracks[k].data ? 0x14 : 0x10;
        toc.tracks[k].trackNumber = static_cast<std::uint8_t>(firstTrack + static_cast<int>(k));
        setMsf(toc.tracks[k], tracks[k].lba);
    }
    TocTrackDescriptor& leadOut = toc.tracks[tracks.size()];
    leadOut.adrControl = 0x10;
    leadOut.trackNumber = kLeadOutTrack;
    setMsf(leadOut, leadOutLba);
    return toc;
}

}  // namespace tonalda::test
