#pragma once
// Builds READ TOC replies in MSF and LBA form for tests.

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

inline void setLba(TocTrackDescriptor& descriptor, std::uint32_t lba) {
    descriptor.address[0] = static_cast<std::uint8_t>(lba >> 24);
    descriptor.address[1] = static_cast<std::uint8_t>(lba >> 16);
    descriptor.address[2] = static_cast<std::uint8_t>(lba >> 8);
    descriptor.address[3] = static_cast<std::uint8_t>(lba);
}

// A table whose tracks are numbered from firstTrack on, addresses in MSF or LBA form.
inline DiscToc makeToc(int firstTrack, const std::vector<TocTrack>& tracks,
                       std::uint32_t leadOutLba, bool msf) {
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
        msf ? setMsf(toc.tracks[k], tracks[k].lba) : setLba(toc.tracks[k], tracks[k].lba);
    }
    TocTrackDescriptor& leadOut = toc.tracks[tracks.size()];
    leadOut.adrControl = 0x10;
    leadOut.trackNumber = kLeadOutTrack;
    msf ? setMsf(leadOut, leadOutLba) : setLba(leadOut, leadOutLba);
    return toc;
}

inline DiscToc makeMsfToc(int firstTrack, const std::vector<TocTrack>& tracks,
                          std::uint32_t leadOutLba) {
    return makeToc(firstTrack, tracks, leadOutLba, true);
}

inline DiscToc makeLbaToc(int firstTrack, const std::vector<TocTrack>& tracks,
                          std::uint32_t leadOutLba) {
    return makeToc(firstTrack, tracks, leadOutLba, false);
}

}  // namespace tonalda::test
