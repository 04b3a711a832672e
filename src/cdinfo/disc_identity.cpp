#include "cdinfo/disc_identity.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cdaccess/cd_engine.h"

namespace tonalda {
namespace {

// Tracks described by the table: last - first + 1, kept to what its descriptors can hold so
// that the lead-out descriptor (index trackCount) stays inside the 100 descriptors.
int describedTrackCount(const DiscToc& toc) {
    const int count = int{toc.lastTrack} - int{toc.firstTrack} + 1;
    return std::clamp(count, 0, kMaxDiscTracks);
}

int msfSeconds(const TocTrackDescriptor& descriptor) {
    return descriptor.address[1] * 60 + descriptor.address[2];
}

}  // namespace

unsigned digitSum(unsigned value) {
    unsigned sum = 0;
    for (; value > 0; value /= 10)
        sum += value % 10;
    return sum;
}

DiscIdentity computeDiscIdentityFromToc(const DiscToc& toc) {
    DiscIdentity identity;
    identity.trackCount = describedTrackCount(toc);
    unsigned checksum = 0;
    for (int k = 0; k < identity.trackCount; ++k) {
        const TocTrackDescriptor& track = toc.tracks[k];
        const int seconds = msfSeconds(track);
        identity.frameOffsets[static_cast<std::size_t>(k)] =
            seconds * kFramesPerSecond + track.address[3];
        checksum += digitSum(static_cast<unsigned>(seconds));
    }
    identity.leadOutSeconds = msfSeconds(toc.tracks[identity.trackCount]);
    const auto length =
        static_cast<std::uint32_t>(identity.leadOutSeconds - msfSeconds(toc.tracks[0]));
    // Combined with OR as CDDB defines it: a length above 65535 seconds would reach the checksum
    // byte.
    identity.discId =
        ((checksum % 255) << 24) | (length << 8) | static_cast<std::uint32_t>(identity.trackCount);
    return identity;
}

std::uint32_t computePlayerKeyFromToc(const DiscToc& toc) {
    std::uint32_t key = 0;
    const int trackCount = describedTrackCount(toc);
    for (int k = 0; k < trackCount; ++k)
        if (!toc.tracks[k].isData())
            key += toc.tracks[k].lba();
    return key;
}

int computeDiscIdentity(CdEngine& engine, int handle, DiscIdentity& identity) {
    DiscToc toc;
    std::memset(&toc, 0, sizeof toc);
    if (engine.readTOCIn(handle, true, toc) != 1)
        return 4;
    identity = computeDiscIdentityFromToc(toc);
    return 1;
}

std::uint32_t computePlayerKey(CdEngine& engine, int handle) {
    DiscToc toc;
    std::memset(&toc, 0, sizeof toc);
    engine.setCdOption(handle, kCdOptionMsf, 1);
    if (engine.readTOC(handle, toc) != 1)
        std::memset(&toc, 0, sizeof toc);  // whatever a failed read left behind counts as nothing
    return computePlayerKeyFromToc(toc);
}

std::string playerKeyText(std::uint32_t playerKey) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", playerKey);
    return text;
}

}  // namespace tonalda
