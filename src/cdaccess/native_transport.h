#pragma once
// The native transport: SCSI commands sent straight to the system's CD-ROM devices with SG_IO.
// Drive letters C..Z stand for /dev/sr0, /dev/sr1, ... (letter index - 2); each present drive is
// identified once (INQUIRY kept, SCSI address asked) and opened lazily on first use.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "cdaccess/scsi_transport.h"
#include "cdaccess/system_calls.h"

namespace tonalda {

struct NativeDriveEntry {
    ScsiAddress address;  // host as adapter, target id, lun (the channel is not used)
    std::uint8_t letterIndex = 0;
    bool present = false;
    int fd = -1;  // -1 = not open
    std::array<std::uint8_t, 36> inquiry{};
};

struct NativeDriveTable {
    int adapterCount = 0;                        // one above the highest host number: up to 256
    std::array<NativeDriveEntry, 26> entries{};  // one per letter A..Z
    bool initialised = false;
    bool hasDrives = false;
};

class NativeTransport final : public ScsiTransport {
  public:
    explicit NativeTransport(std::shared_ptr<SystemCalls> system);
    ~NativeTransport() override;

    // Finds and identifies the drives; runs once, later calls return the first count.
    // Thread: start-up.
    int discover();
    // Thread: any, after discovery.
    const NativeDriveTable& table() const { return table_; }

    AdapterCount adapterCount() override;
    std::uint8_t send(void* request) override;
    void sessionOpened(const ScsiAddress& address) override;

    // Device path of a letter index: 2 (C) is /dev/sr0. Thread: any.
    static std::string devicePath(int letterIndex);

  private:
    NativeDriveEntry* findEntry(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun);
    bool identify(NativeDriveEntry& entry);
    int openDevice(int letterIndex);
    std::uint8_t execute(void* request, bool isRetry);

    std::shared_ptr<SystemCalls> system_;
    // Guards the table after discovery: lookups, lazy opens and re-identification may come from
    // different threads (commands to one drive are serialised by its session lock, not the table).
    std::mutex tableMutex_;
    NativeDriveTable table_;
    int presentCount_ = 0;
};

}  // namespace tonalda
