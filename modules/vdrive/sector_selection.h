#pragma once
// Which bytes of each raw sector a read command delivers: whole frames, mode 1 user data, or the
// fields READ CD selects (sync, headers, user data, EDC/ECC, C2 error bits).

#include <array>
#include <cstdint>

#include "disc.h"

namespace tonalda::vdrive {

class SectorSelection {
  public:
    static SectorSelection raw();       // 2352 bytes of every sector
    static SectorSelection userData();  // 2048 bytes of mode 1 sectors only
    // READ CD: byte 1 bits 2..4 (expected sector type) and byte 9. Validity is checked by
    // readCdFieldsValid() before.
    static SectorSelection readCd(int expectedType, uint8_t fields);
    static bool readCdFieldsValid(int expectedType, uint8_t fields);

    // Whether the command may read a sector of this kind at all.
    bool accepts(SectorKind kind) const;
    uint32_t bytesFor(SectorKind kind) const;
    // Copies the selected fields of the raw `sector`; returns where the next sector goes.
    uint8_t* copy(const uint8_t* sector, SectorKind kind, uint8_t* out) const;
    // True when audio sectors are delivered as plain frames with nothing added, so a read of
    // audio is one run of bytes (and may be shifted by jitter).
    bool plainAudioFrames() const;

  private:
    struct Field {
        uint16_t offset;
        uint16_t size;
    };
    struct Fields {
        std::array<Field, 4> list{};
        int count = 0;
    };
    Fields fieldsFor(SectorKind kind) const;

    enum class Mode { Raw, UserData, ReadCd } mode_ = Mode::Raw;
    int expectedType_ = 0;
    uint8_t flags_ = 0;
};

}  // namespace tonalda::vdrive
