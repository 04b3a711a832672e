#include "cdaccess/cd_engine.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cdaccess/aspi_abi.h"
#include "cdaccess/native_transport.h"
#include "cdaccess/session_hold.h"
#include "platform/event.h"
#include "platform/shared_objects.h"

namespace tonalda {

namespace {

constexpr const char* kStartupLockName = "CordaneDllMainMutex";
constexpr const char* kSessionTableName = "cordane32memmap2";
constexpr const char* kOpenLockName = "cordane32_getCDHandle";
constexpr std::uint8_t kCdRomType = 5;
constexpr std::uint8_t kNoDeviceType = 0x1F;

std::string slotLockName(int slot) {
    char name[32];
    std::snprintf(name, sizeof name, "cordane32_cdMtx%02d", slot);
    return name;
}

bool processIsGone(std::uint32_t pid) {
    return pid != 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Copies a raw INQUIRY field and ends it with a zero.
template <std::size_t N>
void copyField(char (&field)[N], const std::uint8_t* source) {
    std::memcpy(field, source, N - 1);
    field[N - 1] = '\0';
}

}  // namespace

struct CdEngine::PendingRequest {
    SRB_ExecSCSICmd srb{};
    ManualResetEvent event;
    // The transport gets this copy of the caller's data, so that a request it completes after
    // the engine stopped waiting never writes into memory the caller has reused. It only grows:
    // a reused record needs no new buffer.
    std::vector<std::uint8_t> buffer;
};

namespace {

// Idle records kept for reuse: one per session slot and a few for commands outside sessions.
constexpr std::size_t kIdleRequests = kSessionSlots + 4;

}  // namespace

CdEngine::CdEngine(CdEngineOptions options) : options_(std::move(options)) {
    idle_.reserve(kIdleRequests);
}

CdEngine::~CdEngine() {
    // A request the transport still holds must keep its record, event and buffer; wait a little
    // for it and leave what is still pending allocated rather than freeing it under the module.
    std::lock_guard lock(abandonedMutex_);
    for (auto& pending : abandoned_) {
        if (!pending->event.wait(kRequestTimeout)) {
            static_cast<void>(pending.release());
        }
    }
}

CdEngine& cdEngine() {
    static CdEngine engine;
    return engine;
}

const NativeTransport* CdEngine::nativeTransport() const {
    return active_ == ActiveTransport::Native ? static_cast<NativeTransport*>(transport_.get())
                                              : nullptr;
}

// ---- start-up ---------------------------------------------------------------------------------

bool CdEngine::initCdEngine() {
    if (initialised_) {
        return initResult_;
    }
    auto startupLock = NamedMutex::openOrCreate(kStartupLockName);
    if (!startupLock) {
        return false;
    }
    NamedMutexHold hold(*startupLock, kStartupLockTimeout);
    if (!hold.held()) {
        return false;
    }
    selectTransport();
    initialised_ = true;
    initResult_ = setUpSessionTable();
    return initResult_;
}

void CdEngine::selectTransport() {
    AspiLoadResult aspi = loadAspiLibrary(options_.aspiLibrary);
    switch (aspi.outcome) {
        case AspiLoadOutcome::Loaded:
            transport_ = std::move(aspi.transport);
            active_ = ActiveTransport::Aspi;
            return;
        case AspiLoadOutcome::MissingSupportInfo:
            lastError_ = kCdErrNoSupportInfo;
            return;
        case AspiLoadOutcome::MissingSendCommand:
            lastError_ = kCdErrNoSendCommand;
            return;
        case AspiLoadOutcome::NotLoaded:
            if (std::getenv("TONALDA_ASPI_LIBRARY") != nullptr) {
                std::cerr << "tonalda: cannot load the ASPI module " << options_.aspiLibrary << ": "
                          << aspi.error << "\n";
            }
            break;
    }
    auto native = std::make_unique<NativeTransport>(options_.system);
    if (native->discover() > 0) {
        transport_ = std::move(native);
        active_ = ActiveTransport::Native;
        return;
    }
    lastError_ = kCdErrNoTransport;
}

bool CdEngine::setUpSessionTable() {
    tableBlock_ = SharedMemoryBlock::openOrCreate(kSessionTableName, kSessionTableSize);
    if (!tableBlock_) {
        return false;
    }
    SessionTable& shared = table();
    shared.size = kSessionTableSize;
    shared.version = kSessionTableVersion;
    for (int slot = 0; slot < kSessionSlots; ++slot) {
        slotLocks_[slot] = NamedMutex::openOrCreate(slotLockName(slot));
        if (!slotLocks_[slot]) {
            break;
        }
        shared.lockHandles[slot] = static_cast<std::uint32_t>(slot + 1);
    }
    return true;
}

SessionTable& CdEngine::table() const {
    return *static_cast<SessionTable*>(tableBlock_->data());
}

const SessionTable* CdEngine::sessionTable() const {
    return tableBlock_ ? &table() : nullptr;
}

// ---- requests ---------------------------------------------------------------------------------

int CdEngine::getAdapterCount() {
    // Without a transport the answer is the bare 0xE3, whose status byte is 0.
    const AdapterCount reply = transport_ ? transport_->adapterCount() : AdapterCount{};
    if (reply.status == SS_COMP || reply.status == SS_NO_ADAPTERS) {
        return reply.count;
    }
    recordRequestFailure(reply.status);
    return -1;
}

std::uint8_t CdEngine::sendScsiRequest(void* request) {
    if (!transport_) {
        return static_cast<SRB_Header*>(request)->SRB_Status = SS_NO_ASPI;
    }
    return transport_->send(request);
}

void CdEngine::recordRequestFailure(std::uint8_t status) {
    lastError_ = kCdErrRequestFailed;
    lastStatus_ = status;
}

void CdEngine::recordSense(const std::uint8_t* sense) {
    std::lock_guard lock(senseMutex_);
    if (sense != nullptr) {
        std::memcpy(lastSense_.bytes.data(), sense, lastSense_.bytes.size());
    } else {
        lastSense_.bytes.fill(0);
    }
}

SenseData CdEngine::lastSense() const {
    std::lock_guard lock(senseMutex_);
    return lastSense_;
}

void CdEngine::releaseFinishedAbandonedRequests() {
    std::lock_guard lock(abandonedMutex_);
    abandoned_.remove_if([](const auto& pending) { return pending->event.isSet(); });
}

std::unique_ptr<CdEngine::PendingRequest> CdEngine::takeRequest() {
    {
        std::lock_guard lock(idleMutex_);
        if (!idle_.empty()) {
            std::unique_ptr<PendingRequest> pending = std::move(idle_.back());
            idle_.pop_back();
            return pending;
        }
    }
    return std::make_unique<PendingRequest>();
}

void CdEngine::giveBack(std::unique_ptr<PendingRequest> pending) {
    std::lock_guard lock(idleMutex_);
    if (idle_.size() < kIdleRequests) {
        idle_.push_back(std::move(pending));
    }
}

int CdEngine::executeScsi(const ScsiAddress& address, const ScsiCommand& command) {
    releaseFinishedAbandonedRequests();
    std::unique_ptr<PendingRequest> pending = takeRequest();
    const std::uint32_t dataLength = command.data != nullptr ? command.dataLength : 0;
    if (pending->buffer.size() < dataLength) {
        pending->buffer.resize(dataLength);
    }
    if (dataLength != 0) {
        std::memcpy(pending->buffer.data(), command.data, dataLength);
    }
    SRB_ExecSCSICmd& srb = pending->srb;
    srb = SRB_ExecSCSICmd{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = address.adapter;
    srb.SRB_Flags = static_cast<std::uint8_t>(SRB_EVENT_NOTIFY | command.flags);
    srb.SRB_Target = address.target;
    srb.SRB_Lun = address.lun;
    srb.SRB_BufLen = dataLength;
    srb.SRB_BufPointer = dataLength == 0 ? nullptr : pending->buffer.data();
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_CDBLen = command.cdbLength;
    srb.SRB_PostProc = pending->event.handle();
    std::memcpy(srb.CDBByte, command.cdb.data(), sizeof srb.CDBByte);

    pending->event.reset();
    std::uint8_t status = sendScsiRequest(&srb);
    if (status == SS_PENDING) {
        if (pending->event.wait(kRequestTimeout)) {
            status = srb.SRB_Status;
        } else {
            // Too late: the request fails. A transport that can abort it ends it now (its event
            // is then set); otherwise it keeps its record and buffer until it completes.
            SRB_Abort abort{};
            abort.SRB_Cmd = SC_ABORT_SRB;
            abort.SRB_HaId = address.adapter;
            abort.SRB_ToAbort = &srb;
            if (sendScsiRequest(&abort) != SS_COMP || !pending->event.isSet()) {
                std::lock_guard lock(abandonedMutex_);
                abandoned_.push_back(std::move(pending));
            }
            recordRequestFailure(SS_PENDING);
            recordSense(nullptr);
            return 4;
        }
    }
    if (dataLength != 0 && (command.flags & SRB_DIR_OUT) == 0) {
        std::memcpy(command.data, pending->buffer.data(), dataLength);
    }
    if (status != SS_COMP) {
        recordRequestFailure(status);
        recordSense(srb.SenseArea);  // before the record goes back: another thread may take it
    }
    giveBack(std::move(pending));
    return status == SS_COMP ? 1 : 4;
}

// ---- drives -----------------------------------------------------------------------------------

const char* CdEngine::deviceTypeName(std::uint8_t type) {
    static constexpr const char* kNames[] = {
        "Direct-access device", "Sequential-access device", "Printer device",
        "Processor device",     "Write-once device",        "CD-ROM device",
        "Scanner device",       "Optical memory device",    "Medium changer device",
        "Communication device", "ASC IT8 device",           "ASC IT8 device",
    };
    if (type < std::size(kNames)) {
        return kNames[type];
    }
    return type == kNoDeviceType ? "Unknown or no device" : "";
}

int CdEngine::getDeviceType(const ScsiAddress& address, std::uint8_t* type, char* text,
                            std::size_t textLength) {
    SRB_GDEVBlock request{};
    request.SRB_Cmd = SC_GET_DEV_TYPE;
    request.SRB_HaId = address.adapter;
    request.SRB_Target = address.target;
    request.SRB_Lun = address.lun;
    const std::uint8_t status = sendScsiRequest(&request);
    const bool completed = status == SS_COMP;
    const std::uint8_t found = completed ? request.SRB_DeviceType : kNoDeviceType;
    const char* name = completed                ? deviceTypeName(found)
                       : status == SS_NO_DEVICE ? "SS_NO_DEVICE"
                                                : "Unknown return";
    if (type != nullptr) {
        *type = found;
    }
    if (text != nullptr && textLength > 0) {
        const std::size_t length = std::min(std::strlen(name), textLength - 1);
        std::memcpy(text, name, length);
        text[length] = '\0';
    }
    return completed ? 1 : 0;
}

int CdEngine::inquireDrive(const ScsiAddress& address, CdDriveEntry& entry) {
    std::array<std::uint8_t, 100> reply{};
    ScsiCommand inquiry;
    inquiry.cdb = {0x12, 0, 0, 0, 100, 0};
    inquiry.cdbLength = 6;
    inquiry.flags = SRB_DIR_IN;
    inquiry.data = reply.data();
    inquiry.dataLength = static_cast<std::uint32_t>(reply.size());
    if (executeScsi(address, inquiry) != 1) {
        return 4;
    }
    copyField(entry.vendor, &reply[8]);
    copyField(entry.product, &reply[16]);
    copyField(entry.revision, &reply[32]);
    copyField(entry.vendorSpecific, &reply[36]);
    // snprintf keeps the first 64 characters and the zero.
    std::snprintf(entry.displayName, sizeof entry.displayName, "%s, %s v%s (%d:%d:%d)",
                  entry.vendor, entry.product, entry.revision, address.adapter, address.target,
                  address.lun);
    return 1;
}

int CdEngine::enumCdDrives(CdDriveList& list) {
    const std::uint8_t capacity = list.capacity;
    std::memset(&list, 0, sizeof list);
    list.capacity = capacity;
    // The list has room for 8 entries whatever the caller asked for.
    const std::size_t room = std::min<std::size_t>(capacity, std::size(list.drives));

    const int adapters = getAdapterCount();
    if (adapters == 0) {
        lastError_ = kCdErrNoAdapter;
        return 1;
    }
    for (int adapter = 0; adapter < adapters && list.count < room; ++adapter) {
        SRB_HAInquiry inquiry{};
        inquiry.SRB_Cmd = SC_HA_INQUIRY;
        inquiry.SRB_HaId = static_cast<std::uint8_t>(adapter);
        if (sendScsiRequest(&inquiry) != SS_COMP) {
            continue;
        }
        const int targets = inquiry.HA_Unique[3] != 0 ? inquiry.HA_Unique[3] : 8;
        for (int target = 0; target < targets && list.count < room; ++target) {
            for (int lun = 0; lun < 8 && list.count < room; ++lun) {
                const ScsiAddress address{static_cast<std::uint8_t>(adapter),
                                          static_cast<std::uint8_t>(target),
                                          static_cast<std::uint8_t>(lun)};
                std::uint8_t type = 0;
                if (getDeviceType(address, &type, nullptr, 0) != 1 || type != kCdRomType) {
                    continue;
                }
                CdDriveEntry& entry = list.drives[list.count++];
                entry.adapter = address.adapter;
                entry.target = address.target;
                entry.lun = address.lun;
                inquireDrive(address, entry);  // a failure leaves the address and empty texts
            }
        }
    }
    if (list.count == 0) {
        lastError_ = kCdErrNoCdRom;
    }
    return 1;
}

// ---- sessions ---------------------------------------------------------------------------------

DriveSession* CdEngine::openSlot(int handle) const {
    if (handle < 1 || handle > kSessionSlots || !tableBlock_) {
        return nullptr;
    }
    DriveSession& session = table().slots[handle - 1];
    return session.inUse != 0 ? &session : nullptr;
}

void CdEngine::reclaimSessionsOfDeadProcesses() {
    for (DriveSession& session : table().slots) {
        if (session.inUse != 0 && processIsGone(session.ownerProcess)) {
            std::memset(&session, 0, sizeof session);
        }
    }
}

int CdEngine::getCDHandle(const CdHandleRequest* request) {
    if (request == nullptr) {
        lastError_ = kCdErrNoRequest;
        return 0;
    }
    if (request->version != 1 || request->size < sizeof(CdHandleRequest)) {
        lastError_ = kCdErrBadRequest;
        return 0;
    }
    auto openLock = tableBlock_ ? NamedMutex::openOrCreate(kOpenLockName) : nullptr;
    if (!openLock) {
        lastError_ = kCdErrLockTimeout;
        return 0;
    }
    NamedMutexHold hold(*openLock, kSessionLockTimeout);
    if (!hold.held()) {
        lastError_ = kCdErrLockTimeout;
        return 0;
    }
    SessionTable& shared = table();
    reclaimSessionsOfDeadProcesses();
    const ScsiAddress address{request->adapter, request->target, request->lun};
    for (const DriveSession& session : shared.slots) {
        if (session.inUse != 0 &&
            ScsiAddress{session.adapter, session.target, session.lun} == address) {
            lastError_ = kCdErrAlreadyOpen;
            return 0;
        }
    }
    std::uint8_t type = 0;
    if (getDeviceType(address, &type, nullptr, 0) != 1 || type != kCdRomType) {
        std::int32_t none = kCdErrNone;
        lastError_.compare_exchange_strong(none, kCdErrNotCdRom);
        return 0;
    }
    int slot = -1;
    for (int j = 0; j < kSessionSlots; ++j) {
        const int candidate = static_cast<int>((shared.nextSlot + j) % kSessionSlots);
        if (shared.slots[candidate].inUse == 0) {
            slot = candidate;
            break;
        }
    }
    if (slot < 0) {
        lastError_ = kCdErrNoFreeSlot;
        return 0;
    }
    DriveSession& session = shared.slots[slot];
    std::memset(&session, 0, sizeof session);
    session.adapter = address.adapter;
    session.target = address.target;
    session.lun = address.lun;
    session.inUse = 1;
    session.ownerProcess = static_cast<std::uint32_t>(getpid());
    session.readProcedure = readProcedureFor(request->readMethod);
    session.readMethod =
        session.readProcedure == ReadProcedure::Automatic ? 0 : request->readMethod;
    session.jitterCheckFrames = request->jitterCheckFrames;
    session.overlapFrames = request->overlapFrames;
    shared.nextSlot = static_cast<std::uint32_t>(slot);
    if (transport_) {
        transport_->sessionOpened(address);
    }
    return slot + 1;
}

int CdEngine::closeCDHandle(int handle) {
    if (openSlot(handle) == nullptr || !slotLocks_[handle - 1]) {
        return 0;
    }
    SessionHold hold(*this, handle);
    if (!hold.held()) {
        lastError_ = kCdErrLockTimeout;
        return 0;
    }
    DriveSession* session = openSlot(handle);
    if (session == nullptr) {
        return 0;
    }
    if (session->closeProcedure == CloseProcedure::RestoreBlockLength) {
        restoreBlockLength(*session);  // the slot is freed whatever the drive says
    }
    std::memset(session, 0, sizeof *session);
    return 1;
}

int CdEngine::withSession(int handle, FunctionRef<int(DriveSession&)> body) {
    return withSession(handle, body, 4);
}

int CdEngine::withSession(int handle, FunctionRef<int(DriveSession&)> body,
                          int invalidHandleResult) {
    if (handle < 1 || handle > kSessionSlots || !slotLocks_[handle - 1]) {
        lastError_ = kCdErrInvalidHandle;
        return invalidHandleResult;
    }
    SessionHold hold(*this, handle);
    if (!hold.held()) {
        lastError_ = kCdErrLockTimeout;
        return 4;
    }
    DriveSession* session = openSlot(handle);
    if (session == nullptr) {
        lastError_ = kCdErrInvalidHandle;
        return invalidHandleResult;
    }
    return body(*session);
}

int CdEngine::setCdOption(int handle, std::uint32_t key, std::uint32_t value) {
    return withSession(
        handle, [&](DriveSession& session) { return applyOption(handle, session, key, value); }, 0);
}

int CdEngine::applyOption(int handle, DriveSession& session, std::uint32_t key,
                          std::uint32_t value) {
    switch (key) {
        case kCdOptionSpeed:
            return setCdSpeed(handle, value) == 1 ? 1 : 0;
        case kCdOptionMsf:
            session.msfAddressing = value != 0 ? 1 : 0;
            return 1;
        case kCdOptionOverlap:
            session.overlapFrames = value;
            return 1;
        case kCdOptionJitterCheck:
            session.jitterCheckFrames = value;
            return 1;
        case kCdOptionJitterMode:
            session.jitterMode = value;
            return 1;
        default:
            return 0;
    }
}

int CdEngine::readTOC(int handle, DiscToc& toc) {
    return withSession(handle, [&](DriveSession& session) {
        ScsiCommand command;
        command.cdb = {0x43, static_cast<std::uint8_t>(session.msfAddressing != 0 ? 0x02 : 0x00),
                       0,    0,
                       0,    0,
                       0,    0x03,
                       0x24, 0};
        command.cdbLength = 10;
        command.flags = SRB_DIR_IN;
        command.data = reinterpret_cast<std::uint8_t*>(&toc);
        command.dataLength = sizeof toc;
        return executeScsi({session.adapter, session.target, session.lun}, command);
    });
}

int CdEngine::readTOCIn(int handle, bool msf, DiscToc& toc) {
    return withSession(handle, [&](DriveSession& session) {
        const std::uint32_t previous = session.msfAddressing;
        session.msfAddressing = msf ? 1 : 0;
        const int read = readTOC(handle, toc);
        session.msfAddressing = previous;
        return read;
    });
}

int CdEngine::readCDAudio(int handle, FrameBuffer& buffer) {
    return withSession(handle, [&](DriveSession&) { return readProcedure(handle, buffer); });
}

int CdEngine::runReadProcedure(int handle, FrameBuffer& buffer) {
    return readProcedure(handle, buffer);
}

int CdEngine::sendSimple(int handle, std::array<std::uint8_t, 16> cdb, std::uint8_t length,
                         std::uint8_t flags) {
    return withSession(handle, [&](DriveSession& session) {
        ScsiCommand command;
        command.cdb = cdb;
        command.cdbLength = length;
        command.flags = flags;
        return executeScsi({session.adapter, session.target, session.lun}, command);
    });
}

int CdEngine::setCdSpeed(int handle, std::uint32_t speedKBps) {
    return sendSimple(handle,
                      {0xBB, 0, static_cast<std::uint8_t>(speedKBps >> 8),
                       static_cast<std::uint8_t>(speedKBps & 0xFF)},
                      12, SRB_DIR_OUT);
}

int CdEngine::pauseResumeCD(int handle, bool pause) {
    return sendSimple(handle, {0x4B, 0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(pause ? 0 : 1)},
                      10, 0);
}

int CdEngine::playAudioMsf(int handle, std::uint8_t startMinute, std::uint8_t startSecond,
                           std::uint8_t startFrame, std::uint8_t endMinute, std::uint8_t endSecond,
                           std::uint8_t endFrame) {
    return sendSimple(
        handle,
        {0x47, 0, 0, startMinute, startSecond, startFrame, endMinute, endSecond, endFrame, 0x01},
        10, 0);
}

int CdEngine::stopCD(int handle) {
    return sendSimple(handle, {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0x01}, 10, 0);
}

int CdEngine::readSubChannel(int handle, SubChannelPosition& position) {
    return withSession(handle, [&](DriveSession& session) {
        // Header (4 bytes) and the current-position block (12 bytes).
        std::array<std::uint8_t, 16> reply{};
        ScsiCommand command;
        command.cdb = {0x42, 0x00, 0x40, 0x01, 0, 0, 0, 0, static_cast<std::uint8_t>(reply.size()),
                       0};
        command.cdbLength = 10;
        command.flags = SRB_DIR_IN;
        command.data = reply.data();
        command.dataLength = static_cast<std::uint32_t>(reply.size());
        const int result = executeScsi({session.adapter, session.target, session.lun}, command);
        if (result != 1)
            return result;
        auto be32 = [&](std::size_t at) {
            return static_cast<std::int32_t>((std::uint32_t{reply[at]} << 24) |
                                             (std::uint32_t{reply[at + 1]} << 16) |
                                             (std::uint32_t{reply[at + 2]} << 8) | reply[at + 3]);
        };
        position.audioStatus = static_cast<AudioStatus>(reply[1]);
        // A drive that sends the header alone has no position to give.
        const std::size_t length = (std::size_t{reply[2]} << 8) | reply[3];
        if (length >= 12 && reply[4] == 0x01) {
            position.trackNumber = reply[6];
            position.index = reply[7];
            position.absoluteLba = be32(8);
            position.relativeLba = be32(12);
        }
        return result;
    });
}

}  // namespace tonalda
