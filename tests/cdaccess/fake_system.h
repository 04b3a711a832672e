#pragma once
// A scripted stand-in for the system calls of the native transport: CD-ROM units /dev/srN with
// their INQUIRY data and SCSI address, and a small drive behind SG_IO that answers the engine's
// commands, refuses chosen opcodes, reports a changed medium or a stale descriptor on demand, and
// logs every command it is sent.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cdaccess/system_calls.h"

namespace tonalda::testing {

struct FakeUnit {
    bool cdRom = true;
    std::uint32_t idLun = 0;  // id | lun << 8 | channel << 16 | host << 24
    int idLunError = 0;       // errno of a failing address query
    bool readWriteRefused = false;
    std::array<std::uint8_t, 36> inquiry{};
    std::set<std::uint8_t> refused;    // opcodes answered with CHECK CONDITION 5/20/00
    std::set<std::uint8_t> silent;     // opcodes that succeed without transferring data
    int mediaChanges = 0;              // the next N commands report 6/28/00
    int staleDescriptor = 0;           // the next N SG_IO calls fail with EBADF
    std::uint32_t blockLength = 2048;  // set by MODE SELECT
    // Mode pages as MODE SELECT set them and MODE SENSE(6) reports them: code, length, bytes.
    std::map<std::uint8_t, std::vector<std::uint8_t>> modePages = {
        {0x01, {0x01, 0x06, 0x00, 0x05, 0, 0, 0, 0}}, {0x23, {0x23, 0x06, 0, 0, 0, 0, 0, 0}}};
    // Frames on the disc: READ TOC reports one audio track up to here, and reads that reach
    // further are refused with 5/21/00. 0: no disc end is checked.
    std::uint32_t leadOut = 0;
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

    std::map<int, FakeUnit> units;
    std::vector<FakeCommand> commands;
    bool logCommands = true;             // false: commands are answered without being logged
    std::vector<std::string> opened;     // paths, one per successful open
    std::vector<int> closed;             // descriptors
    std::map<int, int> openDescriptors;  // descriptor -> unit

  private:
    int nextFd_ = 100;
};

}  // namespace tonalda::testing
