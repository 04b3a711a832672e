#pragma once
// Records shared by the drive access layer and its callers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tonalda {

constexpr std::size_t kFrameBytes = 2352;  // one CD-DA frame (sector)
constexpr int kFramesPerSecond = 75;
constexpr int kLeadInFrames = 150;  // MSF 00:02:00 is LBA 0
constexpr std::uint8_t kLeadOutTrack = 0xAA;

struct ScsiAddress {
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    bool operator==(const ScsiAddress&) const = default;
};

// Engine-wide error codes (the last error).
enum CdError : std::int32_t {
    kCdErrNone = 0,
    kCdErrNoTransport = -1,
    kCdErrNoSupportInfo = -2,
    kCdErrNoSendCommand = -3,
    kCdErrRequestFailed = -4,
    kCdErrBufferTooSmall = -6,
    kCdErrInvalidHandle = -7,
    kCdErrNoFreeSlot = -8,
    kCdErrNotCdRom = -10,
    kCdErrLockTimeout = -11,
    kCdErrAlreadyOpen = -12,
    kCdErrNoRequest = -13,
    kCdErrBadRequest = -14,
    kCdErrJitterMatch = -15,
    kCdErrNoAdapter = -16,
    kCdErrNoCdRom = -17,
    kCdErrBadFrameCount = -18,  // a read asked for more frames than one command can carry
};

// Frame counts a single read can carry: the command blocks hold the low 8 bits of the count.
constexpr std::uint32_t kMaxFramesPerRead = 255;

// One CD-ROM drive found by enumeration (121 bytes). Each text is the raw INQUIRY field, space
// padded as the drive sent it, followed by a zero byte.
struct CdDriveEntry {
    std::uint8_t adapter;
    std::uint8_t target;
    std::uint8_t lun;
    std::uint8_t reserved;
    char displayName[65];  // at most 64 characters and a zero
    char vendor[9];
    char product[17];
    char revision[5];
    char vendorSpecific[21];

    ScsiAddress address() const { return {adapter, target, lun}; }
};
static_assert(sizeof(CdDriveEntry) == 121);

// The enumerated drives (970 bytes). The caller sets capacity before enumeration; the list never
// holds more than its capacity, nor more than its 8 entries.
struct CdDriveList {
    std::uint8_t capacity;
    std::uint8_t count;
    CdDriveEntry drives[8];
};
static_assert(sizeof(CdDriveList) == 970);

// What getCDHandle is asked to open (12 bytes).
struct CdHandleRequest {
    std::uint8_t size = sizeof(CdHandleRequest);  // at least 12
    std::uint8_t version = 1;                     // must be 1
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::uint8_t readMethod = 0;  // 0 = choose automatically
    std::uint8_t reserved[4] = {};
    std::uint8_t jitterCheckFrames = 0;
    std::uint8_t overlapFrames = 0;
};
static_assert(sizeof(CdHandleRequest) == 12);

// One track descriptor of a READ TOC (format 0) reply.
struct TocTrackDescriptor {
    std::uint8_t reserved;
    std::uint8_t adrControl;  // control bit 0x04 set = data track
    std::uint8_t trackNumber;
    std::uint8_t reserved2;
    std::uint8_t address[4];  // LBA big-endian, or 0 M S F

    bool isData() const { return (adrControl & 0x04) != 0; }
    std::uint32_t lba() const {
        return (std::uint32_t{address[0]} << 24) | (std::uint32_t{address[1]} << 16) |
               (std::uint32_t{address[2]} << 8) | address[3];
    }
};
static_assert(sizeof(TocTrackDescriptor) == 8);

// The reply of READ TOC, format 0: a 4-byte header and up to 100 descriptors (the lead-out
// included), 804 bytes.
struct DiscToc {
    std::uint8_t dataLength[2];  // big-endian, not counting itself
    std::uint8_t firstTrack;
    std::uint8_t lastTrack;
    TocTrackDescriptor tracks[100];

    // Number of descriptors the reply holds (tracks plus lead-out), at most 100.
    std::size_t descriptorCount() const {
        const std::size_t length = (std::size_t{dataLength[0]} << 8) | dataLength[1];
        const std::size_t count = length >= 2 ? (length - 2) / sizeof(TocTrackDescriptor) : 0;
        return count < 100 ? count : 100;
    }
};
static_assert(sizeof(DiscToc) == 804);

// Audio status of READ SUB-CHANNEL.
enum class AudioStatus : std::uint8_t {
    Unknown = 0x00,  // not supported or not valid
    Playing = 0x11,
    Paused = 0x12,
    Completed = 0x13,  // reported once, after a play reached its end
    Error = 0x14,      // a play stopped because of an error
    None = 0x15,       // no status to report
};

// Where the drive's audio play stands: READ SUB-CHANNEL, sub-Q data, current position.
struct SubChannelPosition {
    AudioStatus audioStatus = AudioStatus::Unknown;
    std::uint8_t trackNumber = 0;
    std::uint8_t index = 0;
    std::int32_t absoluteLba = 0;  // on the disc
    std::int32_t relativeLba = 0;  // from the track's start; negative in its pregap
};

// Audio read buffer: a header of six 32-bit fields and the data area.
struct FrameBuffer {
    std::uint32_t startFrame = 0;  // LBA of the first frame
    std::uint32_t frameCount = 0;
    std::uint32_t capacity = 0;      // bytes in the data area
    std::uint32_t length = 0;        // bytes of valid data
    std::uint32_t status = 0;        // 1 after a successful read
    std::uint32_t startOffset = 0;   // byte offset of the valid data in the data area
    std::vector<std::uint8_t> data;  // capacity bytes, zero-filled

    static FrameBuffer forFrames(std::uint32_t frames) {
        FrameBuffer buffer;
        buffer.frameCount = frames;
        buffer.capacity = static_cast<std::uint32_t>(frames * kFrameBytes);
        buffer.data.assign(buffer.capacity, 0);
        return buffer;
    }
};

}  // namespace tonalda
