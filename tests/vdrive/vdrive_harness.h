#pragma once
// Loads the virtual drive module the way the engine does (dlopen, the two C entry points) with a
// drive list of the test's choosing, and sends it requests.

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cdaccess/aspi_abi.h"

namespace vdrive_test {

struct Sense {
    uint8_t key, asc, ascq;
};

// The outcome of one execute request.
struct Reply {
    uint32_t returned = 0;
    SRB_ExecSCSICmd srb{};
    std::vector<uint8_t> data;

    bool good() const { return srb.SRB_Status == SS_COMP; }
    Sense sense() const {
        return {static_cast<uint8_t>(srb.SenseArea[2] & 0x0F), srb.SenseArea[12],
                srb.SenseArea[13]};
    }
    uint32_t transferred() const;  // from the residual count
};

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// One fresh copy of the module, configured with `drives` as $TONALDA_VDRIVE. Every instance is a
// separate load, so each test starts from a module that has read its own configuration.
class Module {
  public:
    explicit Module(const std::string& drives);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    uint32_t supportInfo() const { return support_(); }
    uint32_t send(void* request) const { return send_(request); }
    // What the module wrote to stderr while it read its configuration.
    const std::string& startupMessages() const { return messages_; }
    int lastJitter(uint8_t adapter, uint8_t target, uint8_t lun) const;

    // Sends one command block with a buffer of `bufferSize` bytes (data in, or data out with
    // `out`), waiting for a pending request; flags as the engine sets them.
    Reply exec(std::vector<uint8_t> cdb, uint32_t bufferSize, uint8_t adapter = 0,
               uint8_t target = 0, uint8_t lun = 0, const std::vector<uint8_t>& out = {},
               uint8_t flags = SRB_EVENT_NOTIFY | SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT) const;

  private:
    TempFolder folder_;
    void* handle_ = nullptr;
    GetASPI32SupportInfoFn support_ = nullptr;
    SendASPI32CommandFn send_ = nullptr;
    int (*jitter_)(uint8_t, uint8_t, uint8_t, int*) = nullptr;
    std::string messages_;
};

// Command blocks the engine sends.
std::vector<uint8_t> readCd(int32_t lba, uint32_t frames, uint8_t selection = 0x10);
std::vector<uint8_t> readToc(bool msf, uint8_t startTrack = 0, uint16_t allocation = 804);

// Helpers for building images.
std::vector<uint8_t> randomBytes(size_t size, uint32_t seed);
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void writeText(const std::filesystem::path& path, const std::string& text);
std::vector<uint8_t> readFile(const std::filesystem::path& path);
std::vector<uint8_t> wavFile(const std::vector<uint8_t>& samples, uint32_t rate = 44100,
                             uint16_t bits = 16, uint16_t channels = 2);
// Runs tonalda-mkdisc; returns its exit status.
int runMkdisc(const std::string& arguments);

}  // namespace vdrive_test
