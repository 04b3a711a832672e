#include "mmc_drive.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "sector.h"

namespace tonalda::vdrive {

namespace {

constexpr uint8_t kHostDataOverrun = 0x12;

// Sense keys and the additional sense codes this drive reports.
struct Sense {
    uint8_t key, asc, ascq;
};
constexpr Sense kNoSense{0x0, 0x00, 0x00};
constexpr Sense kNotPresent{0x2, 0x3A, 0x00};
constexpr Sense kUnrecoveredRead{0x3, 0x11, 0x00};
constexpr Sense kLecUncorrectable{0x3, 0x11, 0x05};
constexpr Sense kInvalidOpcode{0x5, 0x20, 0x00};
constexpr Sense kLbaOutOfRange{0x5, 0x21, 0x00};
constexpr Sense kInvalidCdbField{0x5, 0x24, 0x00};
constexpr Sense kInvalidParameter{0x5, 0x26, 0x00};
constexpr Sense kParameterLength{0x5, 0x1A, 0x00};
constexpr Sense kSequenceError{0x5, 0x2C, 0x00};
constexpr Sense kIllegalMode{0x5, 0x64, 0x00};
constexpr Sense kMediumChanged{0x6, 0x28, 0x00};

std::array<uint8_t, 18> fixedSense(Sense s) {
    std::array<uint8_t, 18> sense{};
    sense[0] = 0x70;
    sense[2] = s.key;
    sense[7] = 10;  // additional sense length
    sense[12] = s.asc;
    sense[13] = s.ascq;
    return sense;
}

CommandResult checkCondition(Sense s) {
    CommandResult result;
    result.good = false;
    result.sense = fixedSense(s);
    return result;
}

uint32_t be16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] << 8 | p[1]);
}
uint32_t be24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
}
uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | be24(p + 1);
}

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v >> 16);
    put16(p + 2, v);
}

// A TOC or sub-channel address: LBA big-endian, or 0, minute, second, frame.
void putAddress(uint8_t* p, int32_t lba, bool msf) {
    if (msf) {
        const Msf m = lbaToMsf(lba);
        p[0] = 0;
        p[1] = static_cast<uint8_t>(m.minute);
        p[2] = static_cast<uint8_t>(m.second);
        p[3] = static_cast<uint8_t>(m.frame);
    } else {
        put32(p, static_cast<uint32_t>(lba));
    }
}

void putPaddedText(uint8_t* p, const std::string& text, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(text.size(), width));
}

}  // namespace

struct VirtualDrive::Request {
    const uint8_t* cdb;
    size_t cdbLength;
    uint8_t* data;
    uint32_t dataLength;

    // Returns `reply`, cut to the allocation length, in the data buffer.
    CommandResult deliver(const uint8_t* reply, size_t size, size_t allocation) const {
        const size_t wanted = std::min(size, allocation);
        CommandResult result;
        if (wanted > dataLength) {
            result.good = false;
            result.hostStatus = kHostDataOverrun;
            return result;
        }
        if (wanted > 0) {
            std::memcpy(data, reply, wanted);
        }
        result.transferred = static_cast<uint32_t>(wanted);
        return result;
    }
};

VirtualDrive::VirtualDrive(DriveConfig config, std::unique_ptr<Disc> disc)
    : config_(std::move(config)),
      disc_(std::move(disc)),
      play_(config_.audioOutput && disc_ ? std::make_unique<AudioOutput>(*disc_) : nullptr) {
    mediumPresent_ = disc_ && !config_.noDisc;
    speedLimit_ = config_.speed;
    jitterState_ = config_.seed;
}

VirtualDrive::~VirtualDrive() = default;

int VirtualDrive::lastJitterShift() const {
    std::lock_guard lock(mutex_);
    return lastShift_;
}

CommandResult VirtualDrive::execute(const uint8_t* cdb, size_t cdbLength, uint8_t* data,
                                    uint32_t dataLength) {
    std::lock_guard lock(mutex_);
    Request request{cdb, cdbLength, data, dataLength};
    CommandResult result;
    const uint8_t opcode = cdbLength > 0 ? cdb[0] : 0;
    if (cdbLength < 6) {
        result = checkCondition(kInvalidOpcode);
    } else if (config_.refused[opcode]) {
        result = checkCondition(kInvalidOpcode);
    } else if (config_.silent[opcode]) {
        return result;  // success, and not one byte moved
    } else {
        // A changed medium is reported once, to the first command after the change that is not
        // INQUIRY or REQUEST SENSE, as drives do.
        if (opcode != 0x12 && opcode != 0x03) {
            ++commandCount_;
            if (commandCount_ == config_.mediaChangeAt) {
                unitAttention_ = true;
            }
        }
        if (unitAttention_ && opcode != 0x12 && opcode != 0x03) {
            unitAttention_ = false;
            play_.stop();
            result = checkCondition(kMediumChanged);
        } else {
            try {
                result = dispatch(request);
            } catch (const DiscError&) {
                result = checkCondition(kUnrecoveredRead);
            }
        }
    }
    lastSense_ = result.good ? fixedSense(kNoSense) : result.sense;
    return result;
}

CommandResult VirtualDrive::dispatch(Request& r) {
    const uint8_t opcode = r.cdb[0];
    const bool needsMedium =
        opcode != 0x12 && opcode != 0x03 && opcode != 0x1B && opcode != 0x15 && opcode != 0xBB;
    if (needsMedium && !mediumPresent_) {
        switch (opcode) {
            case 0x00:
            case 0x25:
            case 0x28:
            case 0x42:
            case 0x43:
            case 0x47:
            case 0x4B:
            case 0x4E:
            case 0xBE:
            case 0xD4:
            case 0xD8:
                return checkCondition(kNotPresent);
            default:
                break;
        }
    }
    switch (opcode) {
        case 0x00:  // TEST UNIT READY
            return {};
        case 0x03:
            return requestSense(r);
        case 0x12:
            return inquiry(r);
        case 0x15:
            return modeSelect(r);
        case 0x1B:
            return startStop(r);
        case 0x25:
            return readCapacity(r);
        case 0x28:
            return read10(r);
        case 0x42:
            return readSubChannel(r);
        case 0x43:
            return readToc(r);
        case 0x47:
            return playAudioMsf(r);
        case 0x4B:
            return pauseResume(r);
        case 0x4E:  // STOP PLAY/SCAN
            play_.stop();
            return {};
        case 0xBB:
            return setSpeed(r);
        case 0xBE:
            return readCd(r);
        case 0xD8:
            if (r.cdbLength < 12) {
                return checkCondition(kInvalidCdbField);
            }
            return vendorRead(r, be32(r.cdb + 6), r.cdb[10]);
        case 0xD4:
            if (r.cdbLength < 10) {
                return checkCondition(kInvalidCdbField);
            }
            return vendorRead(r, be16(r.cdb + 7), 0);
        default:
            return checkCondition(kInvalidOpcode);
    }
}

CommandResult VirtualDrive::inquiry(Request& r) {
    if (r.cdb[1] & 0x01) {
        return checkCondition(kInvalidCdbField);  // no vital product data pages
    }
    uint8_t reply[96] = {};
    reply[0] = static_cast<uint8_t>(config_.deviceType & 0x1F);
    reply[1] = 0x80;  // removable medium
    reply[2] = 0x05;
    reply[3] = 0x32;
    reply[4] = sizeof reply - 5;
    putPaddedText(reply + 8, config_.vendor, 8);
    putPaddedText(reply + 16, config_.product, 16);
    putPaddedText(reply + 32, config_.revision, 4);
    putPaddedText(reply + 36, config_.vendorSpecific, 20);
    return r.deliver(reply, sizeof reply, be16(r.cdb + 3));
}

CommandResult VirtualDrive::requestSense(Request& r) {
    std::array<uint8_t, 18> sense = fixedSense(mediumPresent_ ? kNoSense : kNotPresent);
    return r.deliver(sense.data(), sense.size(), r.cdb[4]);
}

CommandResult VirtualDrive::readToc(Request& r) {
    if (r.cdbLength < 10) {
        return checkCondition(kInvalidCdbField);
    }
    const bool msf = r.cdb[1] & 0x02;
    int format = r.cdb[2] & 0x0F;
    if (format == 0) {
        format = r.cdb[9] >> 6;  // the older place of the format
    }
    const auto& tracks = disc_->tracks();
    const int first = tracks.front().number;
    const int last = tracks.back().number;
    const uint8_t leadOutControl = tracks.back().control;
    std::vector<uint8_t> reply(4);
    auto descriptor = [&](int number, uint8_t control, int32_t lba) {
        const size_t at = reply.size();
        reply.resize(at + 8);
        reply[at + 1] = static_cast<uint8_t>(0x10 | control);  // ADR 1: Q mode 1 positions
        reply[at + 2] = static_cast<uint8_t>(number);
        putAddress(&reply[at + 4], lba, msf);
    };
    if (format == 0) {
        const int from = r.cdb[6];
        if (from > last && from != 0xAA) {
            return checkCondition(kInvalidCdbField);
        }
        reply[2] = static_cast<uint8_t>(first);
        reply[3] = static_cast<uint8_t>(last);
        if (from != 0xAA) {
            for (const auto& t : tracks) {
                if (t.number >= from) {
                    descriptor(t.number, t.control, t.startLba);
                }
            }
        }
        descriptor(0xAA, leadOutControl, disc_->leadOut());
    } else if (format == 1) {
        // Session information: one session, starting at the first track.
        reply[2] = 1;
        reply[3] = 1;
        descriptor(first, tracks.front().control, tracks.front().startLba);
    } else {
        return checkCondition(kInvalidCdbField);
    }
    put16(reply.data(), static_cast<uint32_t>(reply.size() - 2));
    return r.deliver(reply.data(), reply.size(), be16(r.cdb + 7));
}

CommandResult VirtualDrive::readSubChannel(Request& r) {
    if (r.cdbLength < 10) {
        return checkCondition(kInvalidCdbField);
    }
    const bool msf = r.cdb[1] & 0x02;
    const bool subQ = r.cdb[2] & 0x40;
    const int format = r.cdb[3];
    const int32_t position = headPosition();
    uint8_t reply[24] = {};
    reply[1] = static_cast<uint8_t>(play_.takeStatus());
    size_t size = 4;
    if (subQ) {
        const TrackInfo& track = disc_->trackAt(std::min(position, disc_->leadOut() - 1));
        switch (format) {
            case 1: {
                reply[4] = 1;
                reply[5] = static_cast<uint8_t>(0x10 | track.control);
                reply[6] = static_cast<uint8_t>(track.number);
                reply[7] = position >= track.startLba ? 1 : 0;
                putAddress(reply + 8, position, msf);
                const int32_t relative = position - track.startLba;
                if (msf) {
                    const int32_t magnitude = relative < 0 ? -relative : relative;
                    reply[13] = static_cast<uint8_t>(magnitude / (60 * kFramesPerSecond));
                    reply[14] = static_cast<uint8_t>(magnitude / kFramesPerSecond % 60);
                    reply[15] = static_cast<uint8_t>(magnitude % kFramesPerSecond);
                } else {
                    put32(reply + 12, static_cast<uint32_t>(relative));
                }
                size = 16;
                break;
            }
            case 2:  // media catalogue number: none recorded
                reply[4] = 2;
                size = 24;
                break;
            case 3: {  // ISRC of a track: none recorded
                const int number = r.cdb[6];
                if (number < disc_->tracks().front().number ||
                    number > disc_->tracks().back().number) {
                    return checkCondition(kInvalidCdbField);
                }
                reply[4] = 3;
                reply[5] = static_cast<uint8_t>(
                    0x10 | disc_->tracks()[number - disc_->tracks().front().number].control);
                reply[6] = static_cast<uint8_t>(number);
                size = 24;
                break;
            }
            default:
                return checkCondition(kInvalidCdbField);
        }
    }
    put16(reply + 2, static_cast<uint32_t>(size - 4));
    return r.deliver(reply, size, be16(r.cdb + 7));
}

CommandResult VirtualDrive::readCapacity(Request& r) {
    uint8_t reply[8];
    put32(reply, static_cast<uint32_t>(disc_->leadOut() - 1));
    put32(reply + 4, kCookedBytes);
    return r.deliver(reply, sizeof reply, sizeof reply);
}

CommandResult VirtualDrive::modeSelect(Request& r) {
    const uint32_t length = r.cdb[4];
    if (length == 0) {
        return {};
    }
    if (length > r.dataLength || length < 4) {
        return checkCondition(kParameterLength);
    }
    const uint8_t* list = r.data;
    const uint32_t descriptors = list[3];
    if (4 + descriptors > length) {
        return checkCondition(kParameterLength);
    }
    if (descriptors % 8 != 0 || descriptors > 8) {
        return checkCondition(kInvalidParameter);
    }
    uint32_t newBlockLength = blockLength_;
    if (descriptors == 8) {
        newBlockLength = be24(list + 9);
        if (newBlockLength != kCookedBytes && newBlockLength != kFrameBytes) {
            return checkCondition(kInvalidParameter);
        }
    }
    for (uint32_t at = 4 + descriptors; at < length;) {
        if (at + 2 > length || at + 2 + list[at + 1] > length) {
            return checkCondition(kParameterLength);
        }
        switch (list[at] & 0x3F) {
            case 0x00:  // vendor page
            case 0x01:  // read error recovery
            case 0x0D:  // CD parameters
            case 0x0E:  // CD audio control
            case 0x1A:  // power condition
            case 0x23:  // vendor page
                break;
            default:
                return checkCondition(kInvalidParameter);
        }
        at += 2 + list[at + 1];
    }
    blockLength_ = newBlockLength;
    CommandResult result;
    result.transferred = length;
    return result;
}

CommandResult VirtualDrive::readCd(Request& r) {
    if (r.cdbLength < 12) {
        return checkCondition(kInvalidCdbField);
    }
    const int expectedType = (r.cdb[1] >> 2) & 0x07;
    // No sub-channel data: the discs have no R-W sub-channels to give.
    if (!SectorSelection::readCdFieldsValid(expectedType, r.cdb[9]) || (r.cdb[10] & 0x07) != 0) {
        return checkCondition(kInvalidCdbField);
    }
    return readSectors(r, static_cast<int32_t>(be32(r.cdb + 2)), be24(r.cdb + 6),
                       SectorSelection::readCd(expectedType, r.cdb[9]));
}

CommandResult VirtualDrive::read10(Request& r) {
    if (r.cdbLength < 10) {
        return checkCondition(kInvalidCdbField);
    }
    return readSectors(
        r, static_cast<int32_t>(be32(r.cdb + 2)), be16(r.cdb + 7),
        blockLength_ == kFrameBytes ? SectorSelection::raw() : SectorSelection::userData());
}

CommandResult VirtualDrive::vendorRead(Request& r, int64_t count, int subcode) {
    if (subcode != 0) {
        return checkCondition(kInvalidCdbField);
    }
    return readSectors(r, static_cast<int32_t>(be32(r.cdb + 2)), count, SectorSelection::raw());
}

CommandResult VirtualDrive::readSectors(Request& r, int64_t lba, int64_t count,
                                        const SectorSelection& selection) {
    if (lba < 0 || lba + count > disc_->leadOut() || (count > 0 && lba >= disc_->leadOut())) {
        return checkCondition(kLbaOutOfRange);
    }
    if (count == 0) {
        return {};
    }
    // The size of the reply, track by track, and whether every sector is audio (only audio
    // reads jitter).
    uint64_t total = 0;
    bool allAudio = true;
    const auto& tracks = disc_->tracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
        const int32_t begin = disc_->regionStart(i);
        const int32_t end = i + 1 < tracks.size() ? disc_->regionStart(i + 1) : disc_->leadOut();
        const int64_t overlap = std::min<int64_t>(end, lba + count) - std::max<int64_t>(begin, lba);
        if (overlap <= 0) {
            continue;
        }
        if (!selection.accepts(tracks[i].kind)) {
            return checkCondition(kIllegalMode);
        }
        allAudio = allAudio && tracks[i].kind == SectorKind::Audio;
        total += static_cast<uint64_t>(overlap) * selection.bytesFor(tracks[i].kind);
    }
    for (auto& failure : config_.failures) {
        if (failure.times != 0 && failure.first < lba + count && failure.last >= lba) {
            if (failure.times > 0) {
                --failure.times;
            }
            return checkCondition(allAudio ? kUnrecoveredRead : kLecUncorrectable);
        }
    }
    if (total > r.dataLength) {
        CommandResult overrun;
        overrun.good = false;
        overrun.hostStatus = kHostDataOverrun;
        return overrun;
    }
    throttle(count);
    if (allAudio && selection.plainAudioFrames()) {
        lastShift_ = nextJitter();
        readStream(lba * kFrameBytes + lastShift_, total, r.data);
    } else {
        lastShift_ = 0;
        uint8_t sector[kFrameBytes];
        uint8_t* out = r.data;
        for (int64_t s = lba; s < lba + count; ++s) {
            disc_->readSector(static_cast<int32_t>(s), sector);
            out = selection.copy(sector, disc_->trackAt(static_cast<int32_t>(s)).kind, out);
        }
    }
    lastPosition_ = static_cast<int32_t>(lba + count - 1);
    CommandResult result;
    result.transferred = static_cast<uint32_t>(total);
    return result;
}

void VirtualDrive::readStream(int64_t byteOffset, size_t size, uint8_t* out) const {
    const int64_t discBytes = static_cast<int64_t>(disc_->leadOut()) * kFrameBytes;
    uint8_t sector[kFrameBytes];
    while (size > 0) {
        if (byteOffset < 0 || byteOffset >= discBytes) {
            // Beyond either edge of the disc a shifted read sees silence.
            const int64_t gap = byteOffset < 0 ? -byteOffset : static_cast<int64_t>(size);
            const size_t zeros =
                static_cast<size_t>(std::min<int64_t>(gap, static_cast<int64_t>(size)));
            std::memset(out, 0, zeros);
            out += zeros;
            size -= zeros;
            byteOffset += static_cast<int64_t>(zeros);
            continue;
        }
        const auto lba = static_cast<int32_t>(byteOffset / kFrameBytes);
        const auto within = static_cast<size_t>(byteOffset % kFrameBytes);
        const size_t piece = std::min(size, static_cast<size_t>(kFrameBytes) - within);
        if (within == 0 && piece == kFrameBytes) {
            disc_->readSector(lba, out);
        } else {
            disc_->readSector(lba, sector);
            std::memcpy(out, sector + within, piece);
        }
        out += piece;
        size -= piece;
        byteOffset += static_cast<int64_t>(piece);
    }
}

int VirtualDrive::nextJitter() {
    if (config_.jitter == 0) {
        return 0;
    }
    jitterState_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = jitterState_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const uint64_t span = 2 * static_cast<uint64_t>(config_.jitter) + 1;
    return static_cast<int>(z % span) - config_.jitter;
}

void VirtualDrive::throttle(int64_t frames) {
    if (speedLimit_ <= 0) {
        return;
    }
    using namespace std::chrono;
    const auto readTime = duration_cast<steady_clock::duration>(
        duration<double>(static_cast<double>(frames) / (kFramesPerSecond * speedLimit_)));
    busyUntil_ = std::max(busyUntil_, steady_clock::now()) + readTime;
    std::this_thread::sleep_until(busyUntil_);
}

CommandResult VirtualDrive::setSpeed(Request& r) {
    const uint32_t kbPerSecond = be16(r.cdb + 2);
    if (config_.speed > 0) {
        // 1x is 176.4 KB/s; the "maximum" value leaves the configured limit alone.
        const double asked =
            kbPerSecond == 0xFFFF || kbPerSecond == 0 ? config_.speed : kbPerSecond / 176.4;
        speedLimit_ = std::min(config_.speed, std::max(asked, 1.0));
    }
    return {};
}

int32_t VirtualDrive::headPosition() {
    if (const auto playing = play_.position()) {
        lastPosition_ = *playing;
    }
    return lastPosition_;
}

CommandResult VirtualDrive::playAudioMsf(Request& r) {
    const uint8_t* c = r.cdb;
    int32_t start = 0;
    if (c[3] == 0xFF && c[4] == 0xFF && c[5] == 0xFF) {
        start = headPosition();  // from the current position
    } else {
        if (c[4] >= 60 || c[5] >= kFramesPerSecond || c[7] >= 60 || c[8] >= kFramesPerSecond) {
            return checkCondition(kInvalidCdbField);
        }
        start = msfToLba(c[3], c[4], c[5]);
    }
    const int32_t end = msfToLba(c[6], c[7], c[8]);
    if (start > end) {
        return checkCondition(kInvalidCdbField);
    }
    if (start < 0 || end > disc_->leadOut()) {
        return checkCondition(kLbaOutOfRange);
    }
    headPosition();
    play_.stop();
    if (start == end) {
        return {};
    }
    if (disc_->trackAt(start).isData()) {
        return checkCondition(kIllegalMode);
    }
    play_.start(start, end);
    return {};
}

CommandResult VirtualDrive::pauseResume(Request& r) {
    if (!play_.active()) {
        return checkCondition(kSequenceError);
    }
    headPosition();
    if (r.cdb[8] & 0x01) {
        play_.resume();
    } else {
        play_.pause();
    }
    return {};
}

CommandResult VirtualDrive::startStop(Request& r) {
    const bool start = r.cdb[4] & 0x01;
    const bool loadEject = r.cdb[4] & 0x02;
    if (!start) {
        headPosition();
        play_.stop();
    }
    if (loadEject && !start) {
        mediumPresent_ = false;
    } else if (loadEject && start && disc_ && !mediumPresent_) {
        mediumPresent_ = true;
        unitAttention_ = true;
        blockLength_ = kCookedBytes;
    }
    return {};
}

}  // namespace tonalda::vdrive
