#include "cdaccess/native_transport.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cdaccess/aspi_abi.h"

namespace tonalda {

namespace {

constexpr int kFirstLetter = 2;  // C
constexpr int kLetterCount = 26;
constexpr unsigned kInquiryTimeoutMs = 2000;
constexpr unsigned kCommandTimeoutMs = 20000;
constexpr std::uint8_t kInquiryOpcode = 0x12;
constexpr std::uint8_t kCdRomType = 5;

// Whether a command without an explicit data direction sends its data to the device. SG_IO
// needs the direction of every transfer; of the commands the engine sends without one only MODE
// SELECT carries data, and that data goes out.
bool sendsDataOut(std::uint8_t opcode) {
    return opcode == 0x15 || opcode == 0x55;
}

struct CommandOutcome {
    int callError = 0;  // errno of a failed SG_IO call, 0 when the call itself worked
    bool good = false;  // the device completed the command without error
    std::uint8_t scsiStatus = 0;
    std::uint8_t hostStatus = 0;
    std::uint32_t residual = 0;  // bytes the device did not transfer, as far as the kernel knows
    std::array<std::uint8_t, 32> sense{};
    std::size_t senseLength = 0;
};

CommandOutcome sendCommand(SystemCalls& system, int fd, const std::uint8_t* cdb,
                           std::uint8_t cdbLength, int direction, void* data,
                           std::uint32_t dataLength, unsigned timeoutMs) {
    CommandOutcome outcome;
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmdp = const_cast<unsigned char*>(cdb);
    header.cmd_len = cdbLength;
    header.dxfer_direction = dataLength == 0 ? SG_DXFER_NONE : direction;
    header.dxferp = dataLength == 0 ? nullptr : data;
    header.dxfer_len = dataLength;
    header.sbp = outcome.sense.data();
    header.mx_sb_len = static_cast<unsigned char>(outcome.sense.size());
    header.timeout = timeoutMs;
    outcome.callError = system.sgIo(fd, header);
    if (outcome.callError == 0) {
        outcome.scsiStatus = header.status;
        outcome.hostStatus = static_cast<std::uint8_t>(header.host_status);
        outcome.residual =
            std::min(static_cast<std::uint32_t>(std::max(header.resid, 0)), dataLength);
        outcome.senseLength = std::min<std::size_t>(header.sb_len_wr, outcome.sense.size());
        outcome.good = header.status == 0 && header.host_status == 0 && header.driver_status == 0;
    }
    return outcome;
}

// The reads of frames or blocks: a success of theirs must have brought data.
bool readsFrames(std::uint8_t opcode) {
    return opcode == 0x28 || opcode == 0xBE || opcode == 0xD8 || opcode == 0xD4;
}

bool reportsMediaChange(const CommandOutcome& outcome) {
    // Fixed-format sense: UNIT ATTENTION (6) with ASC 0x28, "medium may have changed".
    return outcome.callError == 0 && outcome.senseLength >= 14 &&
           (outcome.sense[2] & 0x0F) == 0x06 && outcome.sense[12] == 0x28;
}

}  // namespace

NativeTransport::NativeTransport(std::shared_ptr<SystemCalls> system)
    : system_(std::move(system)) {}

NativeTransport::~NativeTransport() {
    for (auto& entry : table_.entries) {
        if (entry.fd >= 0) {
            system_->close(entry.fd);
        }
    }
}

std::string NativeTransport::devicePath(int letterIndex) {
    return "/dev/sr" + std::to_string(letterIndex - kFirstLetter);
}

int NativeTransport::openDevice(int letterIndex) {
    // Read and write access is needed for MODE SELECT and SET CD SPEED; a device that refuses
    // it is still worth reading.
    const std::string path = devicePath(letterIndex);
    const int fd = system_->open(path, O_RDWR | O_NONBLOCK);
    return fd >= 0 ? fd : system_->open(path, O_RDONLY | O_NONBLOCK);
}

bool NativeTransport::identify(NativeDriveEntry& entry) {
    entry.present = false;
    const int fd = openDevice(entry.letterIndex);
    if (fd < 0) {
        return false;
    }
    const std::uint8_t inquiry[6] = {kInquiryOpcode, 0, 0, 0, 100, 0};
    std::array<std::uint8_t, 100> reply{};
    const CommandOutcome outcome =
        sendCommand(*system_, fd, inquiry, sizeof inquiry, SG_DXFER_FROM_DEV, reply.data(),
                    reply.size(), kInquiryTimeoutMs);
    std::uint32_t packed = 0;
    if (outcome.good && system_->getIdLun(fd, packed) == 0) {
        std::copy_n(reply.begin(), entry.inquiry.size(), entry.inquiry.begin());
        entry.address = {static_cast<std::uint8_t>(packed >> 24),
                         static_cast<std::uint8_t>(packed & 0xFF),
                         static_cast<std::uint8_t>((packed >> 8) & 0xFF)};
        entry.present = true;
    }
    system_->close(fd);
    entry.fd = -1;
    return entry.present;
}

int NativeTransport::discover() {
    if (table_.initialised) {
        return presentCount_;
    }
    table_ = NativeDriveTable{};
    presentCount_ = 0;
    int highestAdapter = 0;
    for (int letter = kFirstLetter; letter < kLetterCount; ++letter) {
        auto& entry = table_.entries[letter];
        entry.letterIndex = static_cast<std::uint8_t>(letter);
        if (system_->isCdRom(letter - kFirstLetter) && identify(entry)) {
            ++presentCount_;
            highestAdapter = std::max<int>(highestAdapter, entry.address.adapter);
        }
    }
    table_.adapterCount = highestAdapter + 1;
    table_.initialised = true;
    table_.hasDrives = presentCount_ > 0;
    return presentCount_;
}

AdapterCount NativeTransport::adapterCount() {
    return {table_.adapterCount,
            static_cast<std::uint8_t>(table_.adapterCount != 0 ? SS_COMP : SS_NO_ADAPTERS)};
}

NativeDriveEntry* NativeTransport::findEntry(std::uint8_t adapter, std::uint8_t target,
                                             std::uint8_t lun) {
    const ScsiAddress wanted{adapter, target, lun};
    for (int letter = kFirstLetter; letter < kLetterCount; ++letter) {
        auto& entry = table_.entries[letter];
        if (entry.present && entry.address == wanted) {
            return &entry;
        }
    }
    return nullptr;
}

void NativeTransport::sessionOpened(const ScsiAddress& address) {
    if (!table_.hasDrives) {
        return;
    }
    std::lock_guard lock(tableMutex_);
    if (auto* entry = findEntry(address.adapter, address.target, address.lun);
        entry != nullptr && entry->fd < 0) {
        const int fd = openDevice(entry->letterIndex);
        entry->fd = fd >= 0 ? fd : -1;
    }
}

std::uint8_t NativeTransport::send(void* request) {
    auto* header = static_cast<SRB_Header*>(request);
    switch (header->SRB_Cmd) {
        case SC_HA_INQUIRY: {
            auto* inquiry = static_cast<SRB_HAInquiry*>(request);
            inquiry->HA_Count = static_cast<std::uint8_t>(std::min(table_.adapterCount, 255));
            if (inquiry->SRB_HaId >= table_.adapterCount) {
                return inquiry->SRB_Status = SS_INVALID_HA;
            }
            inquiry->HA_SCSI_ID = 7;
            std::memcpy(inquiry->HA_ManagerId, "CRASPI v0.000001", 16);
            std::memcpy(inquiry->HA_Identifier, "SCSI Adapter    ", 16);
            inquiry->HA_Identifier[13] = static_cast<std::uint8_t>('0' + inquiry->SRB_HaId);
            std::memset(inquiry->HA_Unique, 0, sizeof inquiry->HA_Unique);
            inquiry->HA_Unique[3] = 8;
            const std::uint32_t maxTransfer = 65536;
            for (int i = 0; i < 4; ++i) {
                inquiry->HA_Unique[4 + i] = static_cast<std::uint8_t>(maxTransfer >> (8 * i));
            }
            return inquiry->SRB_Status = SS_COMP;
        }
        case SC_GET_DEV_TYPE: {
            auto* block = static_cast<SRB_GDEVBlock*>(request);
            std::lock_guard lock(tableMutex_);
            if (findEntry(block->SRB_HaId, block->SRB_Target, block->SRB_Lun) == nullptr) {
                block->SRB_DeviceType = 0x1F;
                return block->SRB_Status = SS_NO_DEVICE;
            }
            block->SRB_DeviceType = kCdRomType;
            return block->SRB_Status = SS_COMP;
        }
        case SC_EXEC_SCSI_CMD:
            return execute(request, false);
        default:
            return header->SRB_Status = SS_ERR;
    }
}

std::uint8_t NativeTransport::execute(void* request, bool isRetry) {
    auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
    NativeDriveEntry* entry = nullptr;
    int fd = -1;
    {
        std::lock_guard lock(tableMutex_);
        entry = findEntry(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (entry == nullptr) {
            return srb->SRB_Status = SS_ERR;
        }
        if (srb->CDBByte[0] == kInquiryOpcode) {
            // Answered from what discovery kept; never more than the caller's buffer holds.
            if (srb->SRB_BufPointer != nullptr) {
                std::memcpy(srb->SRB_BufPointer, entry->inquiry.data(),
                            std::min<std::size_t>(entry->inquiry.size(), srb->SRB_BufLen));
            }
            return srb->SRB_Status = SS_COMP;
        }
        if (entry->fd < 0) {
            entry->fd = std::max(openDevice(entry->letterIndex), -1);
        }
        fd = entry->fd;
    }
    if (fd < 0) {
        srb->SRB_TargStat = SS_ERR;
        return srb->SRB_Status = SS_ERR;
    }
    int direction = SG_DXFER_FROM_DEV;
    if ((srb->SRB_Flags & SRB_DIR_IN) == 0 &&
        ((srb->SRB_Flags & SRB_DIR_OUT) != 0 || sendsDataOut(srb->CDBByte[0]))) {
        direction = SG_DXFER_TO_DEV;
    }
    const std::uint8_t cdbLength = std::clamp<std::uint8_t>(srb->SRB_CDBLen, 1, 16);
    const CommandOutcome outcome =
        sendCommand(*system_, fd, srb->CDBByte, cdbLength, direction, srb->SRB_BufPointer,
                    srb->SRB_BufLen, kCommandTimeoutMs);
    srb->SRB_HaStat = outcome.hostStatus;
    // A read the device calls good while the kernel counts not one byte transferred brought
    // nothing usable (virtio-scsi does this when the buffer is larger than the data): it fails
    // rather than pass the buffer's old bytes off as read. Not every driver counts the residual
    // (libata's ATAPI reports 0), so this catches only what the kernel knows.
    const bool deliveredNothing = outcome.good && direction == SG_DXFER_FROM_DEV &&
                                  srb->SRB_BufLen != 0 && outcome.residual == srb->SRB_BufLen &&
                                  readsFrames(srb->CDBByte[0]);
    if (outcome.callError == 0 && (srb->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) != 0) {
        // As ASPI does: the buffer length becomes what was not transferred.
        srb->SRB_BufLen = outcome.residual;
    }
    if (deliveredNothing) {
        srb->SRB_TargStat = 0;
        return srb->SRB_Status = SS_ERR;
    }
    if (outcome.good) {
        srb->SRB_TargStat = 0;
        return srb->SRB_Status = SS_COMP;
    }
    // A failed call, or a command the device ended with an error: the data is not to be
    // trusted, so the request fails and the device's sense data goes back with it.
    srb->SRB_TargStat =
        outcome.callError != 0 ? static_cast<std::uint8_t>(SS_ERR) : outcome.scsiStatus;
    srb->SRB_Status = SS_ERR;
    const std::size_t senseRoom = std::min<std::size_t>(srb->SRB_SenseLen, sizeof srb->SenseArea);
    std::memcpy(srb->SenseArea, outcome.sense.data(), std::min(senseRoom, outcome.senseLength));

    const bool staleHandle = outcome.callError == EBADF || outcome.callError == ENODEV;
    if (isRetry || !(staleHandle || reportsMediaChange(outcome))) {
        return SS_ERR;
    }
    // The disc was changed or the descriptor went stale: identify the drive again (its handle
    // then stays closed until the retry opens it) and try once more. A descriptor the system no
    // longer knows (EBADF) is not closed: its number may already belong to someone else.
    {
        std::lock_guard lock(tableMutex_);
        if (entry->fd == fd) {  // not already replaced by another thread
            if (outcome.callError != EBADF) {
                system_->close(fd);
            }
            entry->fd = -1;
            identify(*entry);
        }
    }
    return execute(request, true);
}

}  // namespace tonalda
