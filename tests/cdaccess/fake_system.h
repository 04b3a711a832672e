#pragma once
// A scripted stand-in for the system calls of the native transport: CD-ROM units /dev/srN with
// their INQUIRY data and SCSI address, and a small drive behind SG_IO that answers the engine's
// commands, refuses chosen opcodes, reports a changed medium or a stale descriptor on demand, and
// logs every command it is sent. Where a real kernel was seen to answer in its own way (see
// tests/vm), the fake can answer so too: ATAPI sense with the valid bit, a change first reported
// as "no medium", host errors without sense, data sectors, residual counts that only some drivers
// report, and the kernel's refusal of commands that need write access on a read-only open.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cdaccess/system_calls.h"

namespace tonalda::testing {

// Sense key, additional sense code and qualifier.
struct FakeSense {
    std::uint8_t key;
    std::uint8_t asc;
    std::uint8_t ascq = 0;
};

struct FakeUnit {
    bool cdRom = true;
    std::uint32_t idLun = 0;  // id | lun << 8 | channel << 16 | host << 24
    int idLunError = 0;       // errno of a failing address query
    bool readWriteRefused = false;
    std::array<std::uint8_t, 36> inquiry{};
    std::set<std::uint8_t> refused;         // opcodes answered with CHECK CONDITION 5/20/00
    std::set<std::uint8_t> silent;          // opcodes that succeed without transferring data
    int mediaChanges = 0;                   // the next N commands report 6/28/00
    std::deque<FakeSense> pendingSense;     // then the next commands end with these, in order
    std::set<std::uint8_t> hostErrors;      // opcodes that end with host status 7 and no sense
    int staleDescriptor = 0;                // the next N SG_IO calls fail with EBADF
    std::uint32_t blockLength = 2048;       // set by MODE SELECT
    std::uint8_t senseResponseCode = 0x70;  // ATAPI drives set the valid bit: 0xF0
    // READ TOC answers one data track ending here, and reads that reach further are refused with
    // 5/21/00 (0: no reply data, no end checked).
    std::uint32_t leadOut = 0;
    // Mode pages as MODE SELECT set them and MODE SENSE(6) reports them: code, length, bytes.
    std::map<std::uint8_t, std::vector<std::uint8_t>> modePages = {
        {0x01, {0x01, 0x06, 0x00, 0x05, 0, 0, 0, 0}}, {0x23, {0x23, 0x06, 0, 0, 0, 0, 0, 0}}};
    // The disc holds Mode 1 data sectors: READ CD with user data only and READ(10) at 2048-byte
    // blocks give 2048 bytes a frame, READ CD 0xF8 the whole raw frame, 0xF0 is refused.
    bool dataDisc = false;
    // Whether a short transfer sets the residual count; without, the rest of the buffer is zeroed
    // as libata's ATAPI path does.
    bool residualReported = true;
};

struct FakeCommand {
    int unit;
    std::vector<std::uint8_t> cdb;
    int direction;
    std::uint32_t dataLength;
    std::vector<std::uint8_t> dataOut;  // what a MODE SELECT sent
};

class FakeSystem final : public SystemCalls {
  public:
    FakeUnit& addUnit(int unit, std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                      const std::string& vendor = "FAKE", const std::string& product = "Drive");

    bool isCdRom(int unit) override;
    int open(const std::string& path, int flags) override;
    void close(int fd) override;
    int sgIo(int fd, sg_io_hdr_t& header) override;
    int getIdLun(int fd, std::uint32_t& packed) override;

    // The audio byte at a position of the fake disc.
    static std::uint8_t audioByte(std::uint64_t position) {
        return static_cast<std::uint8_t>((position * 2654435761u) >> 13);
    }
    // The user data byte at an offset of a data sector.
    static std::uint8_t dataByte(std::uint32_t lba, std::uint32_t offset) {
        return audioByte(std::uint64_t{lba} * 2048 + offset + 7);
    }

    // Without the raw I/O capability (not root) the kernel lets a command through only when it
    // is read-safe, or write-safe on a descriptor opened for writing; others get EPERM.
    bool rawIoCapable = true;

    std::map<int, FakeUnit> units;
    std::vector<FakeCommand> commands;
    bool logCommands = true;  // false: commands are answered without being logged
    std::vector<std::string> opened;     // paths, one per successful open
    std::vector<int> closed;             // descriptors
    std::map<int, int> openDescriptors;  // descriptor -> unit
    std::set<int> readOnlyDescriptors;

  private:
    int nextFd_ = 100;
};

}  // namespace tonalda::testing
