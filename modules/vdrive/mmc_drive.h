#pragma once
// One virtual CD-ROM drive: answers SCSI-MMC command blocks the way a real drive does, bit for
// bit, with the faults its configuration asks for.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "audio_play.h"
#include "disc.h"
#include "drive_config.h"
#include "sector_selection.h"

namespace tonalda::vdrive {

struct CommandResult {
    bool good = true;                 // false: CHECK CONDITION with `sense`, or a host failure
    uint8_t hostStatus = 0;           // 0x12: the transfer did not fit the buffer
    uint32_t transferred = 0;         // bytes moved in either direction
    std::array<uint8_t, 18> sense{};  // fixed format, valid when !good and hostStatus == 0
};

class VirtualDrive {
  public:
    // `disc` is null for a drive that has no medium to load.
    VirtualDrive(DriveConfig config, std::unique_ptr<Disc> disc);
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    const DriveConfig& config() const { return config_; }

    // Carries out one command block. `data` is the request's buffer of `dataLength` bytes, read
    // for commands that send parameters and written for those that return data; nothing beyond
    // `dataLength` is touched. Thread: any; commands of one drive run one at a time, and a
    // speed-limited read holds the drive for as long as the read takes.
    CommandResult execute(const uint8_t* cdb, size_t cdbLength, uint8_t* data, uint32_t dataLength);

    // The byte shift of the last read (0 without jitter). Thread: any.
    int lastJitterShift() const;

  private:
    struct Request;

    CommandResult dispatch(Request& r);
    CommandResult inquiry(Request& r);
    CommandResult requestSense(Request& r);
    CommandResult readToc(Request& r);
    CommandResult readSubChannel(Request& r);
    CommandResult readCapacity(Request& r);
    CommandResult modeSelect(Request& r);
    CommandResult readCd(Request& r);
    CommandResult read10(Request& r);
    CommandResult vendorRead(Request& r, int64_t count, int subcode);
    CommandResult playAudioMsf(Request& r);
    CommandResult pauseResume(Request& r);
    CommandResult startStop(Request& r);
    CommandResult setSpeed(Request& r);

    CommandResult readSectors(Request& r, int64_t lba, int64_t count,
                              const SectorSelection& selection);
    void readStream(int64_t byteOffset, size_t size, uint8_t* out) const;
    void throttle(int64_t frames);
    int nextJitter();

    // The position of the head: where a play stands, or the last sector read.
    int32_t headPosition();

    DriveConfig config_;
    std::unique_ptr<Disc> disc_;
    bool mediumPresent_ = false;
    bool unitAttention_ = false;
    int commandCount_ = 0;
    uint32_t blockLength_ = 2048;
    double speedLimit_ = 0;  // times real time, 0 = unlimited
    std::chrono::steady_clock::time_point busyUntil_{};
    uint64_t jitterState_ = 0;
    int lastShift_ = 0;
    std::array<uint8_t, 18> lastSense_{};

    int32_t lastPosition_ = 0;
    AudioPlay play_;

    mutable std::mutex mutex_;
};

}  // namespace tonalda::vdrive
