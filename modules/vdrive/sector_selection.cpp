#include "sector_selection.h"

#include <cstring>

#include "sector.h"

namespace tonalda::vdrive {

namespace {

constexpr uint8_t kSync = 0x80;
constexpr uint8_t kHeaderCodes = 0x60;
constexpr uint8_t kUserData = 0x10;
constexpr uint8_t kEdcEcc = 0x08;
constexpr uint8_t kC2Bits = 0x06;

int c2Bytes(uint8_t flags) {
    switch (flags & kC2Bits) {
        case 0x02:
            return 294;  // C2 error bits
        case 0x04:
            return 296;  // block error byte, pad byte and C2 error bits
        default:
            return 0;
    }
}

}  // namespace

SectorSelection SectorSelection::raw() {
    return {};
}

SectorSelection SectorSelection::userData() {
    SectorSelection s;
    s.mode_ = Mode::UserData;
    return s;
}

SectorSelection SectorSelection::readCd(int expectedType, uint8_t fields) {
    SectorSelection s;
    s.mode_ = Mode::ReadCd;
    s.expectedType_ = expectedType;
    s.flags_ = fields;
    return s;
}

bool SectorSelection::readCdFieldsValid(int expectedType, uint8_t fields) {
    if (expectedType > 5 || (fields & kC2Bits) == kC2Bits || (fields & 0x01)) {
        return false;
    }
    // Sync followed by user data or EDC without the header between them cannot be delivered.
    return !((fields & kSync) && !(fields & kHeaderCodes) && (fields & (kUserData | kEdcEcc)));
}

bool SectorSelection::accepts(SectorKind kind) const {
    switch (mode_) {
        case Mode::Raw:
            return true;
        case Mode::UserData:
            return kind == SectorKind::Mode1;
        case Mode::ReadCd:
            switch (expectedType_) {
                case 0:
                    return true;
                case 1:
                    return kind == SectorKind::Audio;
                case 2:
                    return kind == SectorKind::Mode1;
                case 3:
                    return kind == SectorKind::Mode2;
                default:
                    return false;  // mode 2 form 1 and 2: no XA sectors on these discs
            }
    }
    return false;
}

SectorSelection::Fields SectorSelection::fieldsFor(SectorKind kind) const {
    Fields fields;
    auto add = [&fields](uint16_t offset, uint16_t size) {
        fields.list[fields.count++] = {offset, size};
    };
    if (mode_ == Mode::Raw) {
        add(0, kFrameBytes);
    } else if (mode_ == Mode::UserData) {
        add(16, kCookedBytes);
    } else if (kind == SectorKind::Audio) {
        // A CD-DA frame is all user data: any field selection gives the whole frame.
        if (flags_ & (kSync | kHeaderCodes | kUserData | kEdcEcc)) {
            add(0, kFrameBytes);
        }
    } else {
        const int headers = (flags_ & kHeaderCodes) >> 5;  // 1 header, 2 sub-header, 3 both
        if (flags_ & kSync) {
            add(0, 12);
        }
        if (headers == 1 || headers == 3) {
            add(12, 4);  // mode 1 and formless mode 2 sectors have no sub-header
        }
        if (flags_ & kUserData) {
            add(16, kind == SectorKind::Mode1 ? kCookedBytes : 2336);
        }
        if ((flags_ & kEdcEcc) && kind == SectorKind::Mode1) {
            add(2064, 288);
        }
    }
    return fields;
}

uint32_t SectorSelection::bytesFor(SectorKind kind) const {
    const Fields fields = fieldsFor(kind);
    uint32_t bytes = mode_ == Mode::ReadCd ? static_cast<uint32_t>(c2Bytes(flags_)) : 0;
    for (int i = 0; i < fields.count; ++i) {
        bytes += fields.list[i].size;
    }
    return bytes;
}

uint8_t* SectorSelection::copy(const uint8_t* sector, SectorKind kind, uint8_t* out) const {
    const Fields fields = fieldsFor(kind);
    for (int i = 0; i < fields.count; ++i) {
        std::memcpy(out, sector + fields.list[i].offset, fields.list[i].size);
        out += fields.list[i].size;
    }
    if (mode_ == Mode::ReadCd) {
        // No sector of a virtual disc has C2 errors.
        const int c2 = c2Bytes(flags_);
        std::memset(out, 0, static_cast<size_t>(c2));
        out += c2;
    }
    return out;
}

bool SectorSelection::plainAudioFrames() const {
    return mode_ == Mode::Raw || (mode_ == Mode::ReadCd && c2Bytes(flags_) == 0 &&
                                  (flags_ & (kSync | kHeaderCodes | kUserData | kEdcEcc)));
}

}  // namespace tonalda::vdrive
