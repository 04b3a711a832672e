#pragma once
// The CD engine: starts the transport, finds the drives, and runs drive sessions (open, options,
// table of contents, audio reads, player commands) kept in a table shared by every process that
// runs the engine. Results follow the drive-access convention: 1 success, 4 failure (unless a
// function says otherwise), the reason kept in the engine-wide last error and, for failed SCSI
// requests, the last status byte.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cdaccess/aspi_library.h"
#include "cdaccess/cd_types.h"
#include "cdaccess/scsi_transport.h"
#include "cdaccess/session_table.h"
#include "cdaccess/system_calls.h"
#include "platform/function_ref.h"

namespace tonalda {

class NamedMutex;
class NativeTransport;
class SharedMemoryBlock;

struct CdEngineOptions {
    std::string aspiLibrary = defaultAspiLibrary();
    std::shared_ptr<SystemCalls> system = realSystemCalls();
};

// One SCSI command for the execute pattern.
struct ScsiCommand {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdbLength = 0;
    std::uint8_t flags = 0;  // SRB_DIR_IN, SRB_DIR_OUT or neither; SRB_ENABLE_RESIDUAL_COUNT
    std::uint8_t* data = nullptr;
    std::uint32_t dataLength = 0;
};

enum class ActiveTransport { None, Aspi, Native };

// Sense data as a request carries it: fixed format, key in byte 2 (low nibble), additional sense
// code in byte 12 and its qualifier in byte 13.
struct SenseData {
    std::array<std::uint8_t, 14> bytes{};
    std::uint8_t key() const { return bytes[2] & 0x0F; }
    std::uint8_t asc() const { return bytes[12]; }
    std::uint8_t ascq() const { return bytes[13]; }
};

// Option keys of setCdOption.
enum CdOptionKey : std::uint32_t {
    kCdOptionSpeed = 0x20,
    kCdOptionMsf = 0x24,
    kCdOptionOverlap = 0x25,
    kCdOptionJitterCheck = 0x26,
    kCdOptionJitterMode = 0x27,
};

constexpr std::chrono::milliseconds kStartupLockTimeout{15000};
constexpr std::chrono::milliseconds kSessionLockTimeout{10000};
constexpr std::chrono::milliseconds kRequestTimeout{4000};

class CdEngine {
  public:
    explicit CdEngine(CdEngineOptions options = {});
    ~CdEngine();
    CdEngine(const CdEngine&) = delete;
    CdEngine& operator=(const CdEngine&) = delete;

    // ---- start-up and drives ----

    // Chooses the transport (an ASPI module when one loads, else the native transport when it
    // finds a drive) and sets up the shared session table and its locks. True when the table
    // could be set up, whatever the transport outcome. Runs once; later calls repeat the answer.
    // Thread: the user-interface thread, before any drive is used.
    bool initCdEngine();
    // Thread: any, after initCdEngine.
    ActiveTransport activeTransport() const { return active_; }
    // The native transport when it is the active one, else nullptr. Thread: any.
    const NativeTransport* nativeTransport() const;

    // Number of host adapters, or -1 (last error -4, last status = the reported status).
    // Thread: any.
    int getAdapterCount();
    // Carries out one request record through the transport; returns its status (0 = pending).
    // Without a transport the status is 0xE3. Thread: any; serialise per drive.
    std::uint8_t sendScsiRequest(void* request);
    // Fills the list in adapter/target/lun order; always 1. No drive: count 0 and last error
    // -16 (no adapter) or -17 (no CD-ROM drive). Thread: the user-interface thread.
    int enumCdDrives(CdDriveList& list);
    // Device type at an address: 1 with the type and its name, or 0 with type 31 and
    // "SS_NO_DEVICE" or "Unknown return". Outputs may be null. Thread: any.
    int getDeviceType(const ScsiAddress& address, std::uint8_t* type, char* text,
                      std::size_t textLength);
    // Name of a SCSI peripheral device type; empty for the unnamed ones. Thread: any.
    static const char* deviceTypeName(std::uint8_t type);
    // INQUIRY into the entry's texts and display name; 1, or 4 (-4). Thread: any.
    int inquireDrive(const ScsiAddress& address, CdDriveEntry& entry);
    // The execute pattern: one SCSI command to the drive at the address, waiting at most 4000 ms
    // for a pending request; 1, or 4 with last error -4 and the status kept. Thread: any;
    // callers serialise commands per drive.
    int executeScsi(const ScsiAddress& address, const ScsiCommand& command);

    // ---- sessions ----

    // Opens a session; its handle 1..16, or 0 with last error -13, -14, -11, -12, -10 or -8.
    // Thread: any.
    int getCDHandle(const CdHandleRequest* request);
    // Closes a session (restoring the drive's block length when a read set-up changed it);
    // 1, or 0 when the handle is not open (no error) or its lock was not obtained (-11).
    // Thread: any.
    int closeCDHandle(int handle);
    // 1; 0 for an unknown key, an invalid handle (-7) or a failed speed change; 4 when the lock
    // was not obtained (-11). Thread: any.
    int setCdOption(int handle, std::uint32_t key, std::uint32_t value);
    // SET CD SPEED in KB/s (0xFFFF = the drive's maximum). Thread: any.
    int setCdSpeed(int handle, std::uint32_t speedKBps);
    // READ TOC format 0 in the session's address mode. Thread: any.
    int readTOC(int handle, DiscToc& toc);
    // READ TOC format 0 in the given address mode, the session keeping its own. Thread: any.
    int readTOCIn(int handle, bool msf, DiscToc& toc);
    // Reads buffer.frameCount frames (at most 255) from buffer.startFrame with the session's read
    // method, choosing one on the first read of an automatic session. Before anything is sent:
    // -7 for a handle that is not open, -18 for more than 255 frames, -6 when the data area
    // (the smaller of capacity and its real size) cannot hold them. Thread: any.
    int readCDAudio(int handle, FrameBuffer& buffer);
    // Thread: any.
    int pauseResumeCD(int handle, bool pause);
    // Thread: any.
    int playAudioMsf(int handle, std::uint8_t startMinute, std::uint8_t startSecond,
                     std::uint8_t startFrame, std::uint8_t endMinute, std::uint8_t endSecond,
                     std::uint8_t endFrame);
    // Thread: any.
    int stopCD(int handle);
    // READ SUB-CHANNEL (sub-Q, current position, LBA addresses): the audio status and where the
    // head stands. 1, or 4 with the reply left as it was. Thread: any.
    int readSubChannel(int handle, SubChannelPosition& position);

    // The last error, reset to 0 by the call. Thread: any.
    std::int32_t getLastCdError() { return lastError_.exchange(0); }
    // The last status byte, reset to 1 (completed) by the call. Thread: any.
    std::uint8_t getLastScsiStatus() { return lastStatus_.exchange(1); }
    // The sense data (fixed format) the drive gave with the last command that failed; all zero
    // when that failure carried none. Kept until the next failure. Thread: any.
    SenseData lastSense() const;
    // Thread: any.
    void setLastError(std::int32_t error) { lastError_.store(error); }

    // ---- for readers built on the session's read procedure ----

    // Runs body on the open session under its lock (re-entrant for the calling thread). Handle
    // outside 1..16 or slot not open: -7 and 4; lock not obtained: -11 and 4; else body's result.
    // Thread: any.
    int withSession(int handle, FunctionRef<int(DriveSession&)> body);
    // Runs the session's read procedure on the buffer. Call it inside withSession.
    // Thread: the one holding the session.
    int runReadProcedure(int handle, FrameBuffer& buffer);

    // The table shared by the processes; nullptr before initCdEngine. Thread: any.
    const SessionTable* sessionTable() const;

  private:
    struct PendingRequest;
    class SessionHold;

    int withSession(int handle, FunctionRef<int(DriveSession&)> body, int invalidHandleResult);
    int applyOption(int handle, DriveSession& session, std::uint32_t key, std::uint32_t value);
    void selectTransport();
    bool setUpSessionTable();
    SessionTable& table() const;
    DriveSession* openSlot(int handle) const;
    void reclaimSessionsOfDeadProcesses();
    void recordRequestFailure(std::uint8_t status);
    void recordSense(const std::uint8_t* sense);
    void releaseFinishedAbandonedRequests();
    std::unique_ptr<PendingRequest> takeRequest();
    void giveBack(std::unique_ptr<PendingRequest> pending);

    // Read procedures and their parts (read_methods.cpp).
    int validateRead(int handle, const FrameBuffer& buffer, DriveSession*& session);
    int readProcedure(int handle, FrameBuffer& buffer);
    int readCd(int handle, FrameBuffer& buffer);
    int read10(int handle, FrameBuffer& buffer);
    int readVendor(int handle, FrameBuffer& buffer);
    int readAutomatic(int handle, FrameBuffer& buffer);
    int probe(int handle, FrameBuffer& buffer);
    int modeSelect(const DriveSession& session, std::uint8_t byte1, std::uint8_t parameterLength,
                   const std::uint8_t* list, std::uint32_t listBytes, std::uint8_t flags);
    int restoreBlockLength(DriveSession& session);
    void saveModePages(const DriveSession& session, int slot);
    void restoreModePages(const DriveSession& session, int slot);
    int sendSimple(int handle, std::array<std::uint8_t, 16> cdb, std::uint8_t length,
                   std::uint8_t flags);

    CdEngineOptions options_;
    bool initialised_ = false;
    bool initResult_ = false;
    ActiveTransport active_ = ActiveTransport::None;
    std::unique_ptr<ScsiTransport> transport_;
    std::unique_ptr<SharedMemoryBlock> tableBlock_;
    std::array<std::unique_ptr<NamedMutex>, kSessionSlots> slotLocks_;
    std::atomic<std::int32_t> lastError_{0};
    std::atomic<std::uint8_t> lastStatus_{0};
    mutable std::mutex senseMutex_;
    SenseData lastSense_{};
    // Requests that outlived their wait: kept until the transport finishes with them.
    std::mutex abandonedMutex_;
    std::list<std::unique_ptr<PendingRequest>> abandoned_;
    // Request records with their buffers, reused from command to command so that reading
    // allocates nothing per block: in the steady state one per session that is reading.
    std::mutex idleMutex_;
    std::vector<std::unique_ptr<PendingRequest>> idle_;
    // Mode pages as the drive had them before a read method changed them, per session slot, so
    // that the restore puts them back.
    struct SavedModePages {
        std::array<std::uint8_t, 2 + 64> page01{};
        std::array<std::uint8_t, 2 + 64> page23{};
        bool has01 = false;
        bool has23 = false;
    };
    std::array<SavedModePages, kSessionSlots> savedPages_{};
};

// The program's engine. Thread: any.
CdEngine& cdEngine();

// Which read procedure a read method uses (0 and unknown methods: the automatic choice).
ReadProcedure readProcedureFor(std::uint8_t method);

}  // namespace tonalda
