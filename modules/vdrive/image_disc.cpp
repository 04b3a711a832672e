#include "image_disc.h"

#include <algorithm>
#include <cstring>

#include "sector.h"

namespace tonalda::vdrive {

ImageDisc::ImageDisc(std::vector<PosixFile> files, ImageLayout layout)
    : files_(std::move(files)), segments_(std::move(layout.segments)) {
    setLayout(std::move(layout.tracks), layout.leadOut);
}

void ImageDisc::readSector(int32_t lba, uint8_t* out) const {
    auto after = std::upper_bound(segments_.begin(), segments_.end(), lba,
                                  [](int32_t l, const Segment& s) { return l < s.startLba; });
    if (after == segments_.begin() || lba >= leadOut()) {
        throw DiscError("sector " + std::to_string(lba) + " lies outside the disc");
    }
    const Segment& segment = *(after - 1);
    const bool cooked = segment.kind != SectorKind::Audio && segment.sectorBytes != kFrameBytes;
    uint8_t* payload = cooked ? out + 16 : out;
    size_t got = 0;
    if (segment.file >= 0) {
        const uint64_t offset = segment.byteOffset +
                                static_cast<uint64_t>(lba - segment.startLba) * segment.sectorBytes;
        if (offset < segment.byteLimit) {
            const size_t wanted = static_cast<size_t>(
                std::min<uint64_t>(segment.sectorBytes, segment.byteLimit - offset));
            got = files_[segment.file].readAt(offset, payload, wanted);
        }
    }
    std::memset(payload + got, 0, segment.sectorBytes - got);
    if (segment.kind == SectorKind::Mode1 && cooked) {
        completeMode1Sector(lba, out);
    } else if (segment.kind == SectorKind::Mode2 && cooked) {
        completeMode2Sector(lba, out);
    } else if (segment.kind != SectorKind::Audio && segment.file < 0) {
        // A pregap of silence in a data track still carries a valid, empty data sector.
        if (segment.kind == SectorKind::Mode1) {
            completeMode1Sector(lba, out);
        } else {
            completeMode2Sector(lba, out);
        }
    }
}

}  // namespace tonalda::vdrive
