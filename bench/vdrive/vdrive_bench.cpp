// Reads a whole 74-minute generated disc in 26-frame READ CD blocks through SendASPI32Command
// and prints the speed as a multiple of real time and the memory in use along the way.
// Usage: vdrive_bench [MODULE] (default: the module of this build)

#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cdaccess/aspi_abi.h"

namespace {

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : VDRIVE_MODULE_PATH;
    setenv("TONALDA_VDRIVE", "gen:seed 74/track audio 74:00,noaudio", 1);
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    auto send =
        reinterpret_cast<SendASPI32CommandFn>(dlsym(module, TONALDA_ASPI_SEND_COMMAND_NAME));
    if (!send) {
        std::fprintf(stderr, "%s lacks SendASPI32Command\n", path);
        return 1;
    }
    constexpr int kBlock = 26;
    constexpr int kFrames = 74 * 60 * 75;
    std::vector<uint8_t> buffer(kBlock * 2352);
    uint64_t checksum = 0;
    long rssAtTenth = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int lba = 0; lba < kFrames; lba += kBlock) {
        const int frames = std::min(kBlock, kFrames - lba);
        SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_Flags = SRB_DIR_IN;
        srb.SRB_BufLen = static_cast<uint32_t>(buffer.size());
        srb.SRB_BufPointer = buffer.data();
        srb.SRB_SenseLen = ASPI_SENSE_LEN;
        srb.SRB_CDBLen = 12;
        const uint8_t cdb[12] = {0xBE,
                                 0,
                                 0,
                                 static_cast<uint8_t>(lba >> 16),
                                 static_cast<uint8_t>(lba >> 8),
                                 static_cast<uint8_t>(lba),
                                 0,
                                 0,
                                 static_cast<uint8_t>(frames),
                                 0x10,
                                 0,
                                 0};
        std::memcpy(srb.CDBByte, cdb, sizeof cdb);
        if (send(&srb) != SS_COMP) {
            std::fprintf(stderr, "read at %d failed: status %d, sense %x/%x/%x\n", lba,
                         srb.SRB_Status, srb.SenseArea[2], srb.SenseArea[12], srb.SenseArea[13]);
            return 1;
        }
        checksum += buffer[static_cast<size_t>(lba) % buffer.size()];
        if (lba / kBlock == kFrames / kBlock / 10) {
            rssAtTenth = residentKb();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double audioSeconds = kFrames / 75.0;
    std::printf("74-minute disc, 26-frame READ CD blocks: %.2f s, %.0f x real time\n", seconds,
                audioSeconds / seconds);
    std::printf(
        "resident memory: %ld kB after a tenth of the disc, %ld kB at the end (checksum %llu)\n",
        rssAtTenth, residentKb(), static_cast<unsigned long long>(checksum));
    dlclose(module);
    return 0;
}
