// The ASPI entry points of the virtual drive module: host-adapter inquiry, get device type,
// execute and abort, over the drives $TONALDA_VDRIVE describes.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "cdaccess/aspi_abi.h"
#include "disc.h"
#include "drive_config.h"
#include "mmc_drive.h"
#include "posix_file.h"

#define TONALDA_EXPORT extern "C" __attribute__((visibility("default")))

namespace tonalda::vdrive {

namespace {

void setStatus(uint8_t* status, uint8_t value) {
    __atomic_store_n(status, value, __ATOMIC_RELEASE);
}

void signalCompletion(SRB_ExecSCSICmd* srb) {
    if ((srb->SRB_Flags & SRB_EVENT_NOTIFY) && srb->SRB_PostProc && srb->SRB_PostProc->set) {
        srb->SRB_PostProc->set(srb->SRB_PostProc);
    }
}

// Runs one execute request on a drive and fills the record's results.
void runRequest(VirtualDrive& drive, SRB_ExecSCSICmd* srb) {
    if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > sizeof srb->CDBByte ||
        (srb->SRB_BufLen > 0 && !srb->SRB_BufPointer)) {
        setStatus(&srb->SRB_Status, SS_INVALID_SRB);
        signalCompletion(srb);
        return;
    }
    const CommandResult result = drive.execute(srb->CDBByte, srb->SRB_CDBLen, srb->SRB_BufPointer,
                                               srb->SRB_BufPointer ? srb->SRB_BufLen : 0);
    srb->SRB_HaStat = result.hostStatus;
    srb->SRB_TargStat = result.good || result.hostStatus != 0 ? 0 : 2;  // 2: CHECK CONDITION
    if (!result.good && result.hostStatus == 0) {
        const size_t size = std::min<size_t>(srb->SRB_SenseLen, sizeof srb->SenseArea);
        std::memcpy(srb->SenseArea, result.sense.data(), std::min(size, result.sense.size()));
    }
    if (srb->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) {
        srb->SRB_BufLen -= std::min(result.transferred, srb->SRB_BufLen);
    }
    setStatus(&srb->SRB_Status, result.good ? SS_COMP : SS_ERR);
    signalCompletion(srb);
}

// Completes a drive's requests after the configured delay, in order, on its own thread.
class DelayedRunner {
  public:
    DelayedRunner(VirtualDrive& drive, std::chrono::milliseconds delay)
        : drive_(drive), delay_(delay), thread_([this] { loop(); }) {}

    ~DelayedRunner() {
        {
            std::lock_guard lock(mutex_);
            quitting_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void submit(SRB_ExecSCSICmd* srb) {
        std::lock_guard lock(mutex_);
        queue_.push_back({srb, std::chrono::steady_clock::now() + delay_});
        changed_.notify_all();
    }

    // True when the request was this runner's; it has then ended (aborted or completed).
    bool abort(void* request) {
        std::unique_lock lock(mutex_);
        auto queued = std::find_if(queue_.begin(), queue_.end(),
                                   [request](const Entry& e) { return e.srb == request; });
        if (queued != queue_.end()) {
            SRB_ExecSCSICmd* srb = queued->srb;
            queue_.erase(queued);
            setStatus(&srb->SRB_Status, SS_ABORTED);
            signalCompletion(srb);
            return true;
        }
        if (running_ == request) {
            changed_.wait(lock, [this, request] { return running_ != request; });
            return true;
        }
        return false;
    }

  private:
    struct Entry {
        SRB_ExecSCSICmd* srb;
        std::chrono::steady_clock::time_point due;
    };

    void loop() {
        std::unique_lock lock(mutex_);
        while (true) {
            if (quitting_) {
                // Requests still waiting when the module goes are ended, never left pending.
                for (const Entry& e : queue_) {
                    setStatus(&e.srb->SRB_Status, SS_ABORTED);
                    signalCompletion(e.srb);
                }
                return;
            }
            if (queue_.empty()) {
                changed_.wait(lock);
                continue;
            }
            if (std::chrono::steady_clock::now() < queue_.front().due) {
                changed_.wait_until(lock, queue_.front().due);
                continue;
            }
            SRB_ExecSCSICmd* srb = queue_.front().srb;
            queue_.pop_front();
            running_ = srb;
            lock.unlock();
            runRequest(drive_, srb);
            lock.lock();
            running_ = nullptr;
            changed_.notify_all();
        }
    }

    VirtualDrive& drive_;
    const std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> queue_;
    void* running_ = nullptr;
    bool quitting_ = false;
    std::thread thread_;  // last: starts once everything it uses exists
};

struct AttachedDrive {
    ScsiAddress address;
    std::unique_ptr<VirtualDrive> drive;
    std::unique_ptr<DelayedRunner> runner;
};

// The configuration text: $TONALDA_VDRIVE, or with a leading '@' the file it names, one drive
// per line ('#' starts a comment).
std::string configurationText() {
    const char* value = std::getenv("TONALDA_VDRIVE");
    if (!value) {
        return {};
    }
    if (value[0] != '@') {
        return value;
    }
    std::istringstream in;
    try {
        in.str(PosixFile::readWhole(value + 1, 1 << 20));
    } catch (const DiscError& error) {
        std::fprintf(stderr, "vdrive: cannot read the drive list: %s\n", error.what());
        return {};
    }
    std::string text;
    for (std::string line; std::getline(in, line);) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        text += line + ";";
    }
    return text;
}

class Bus {
  public:
    static Bus& instance() {
        static Bus bus;
        return bus;
    }

    uint32_t supportInfo() const {
        return adapterCount_ == 0 ? SS_NO_ADAPTERS << 8 : (SS_COMP << 8) | adapterCount_;
    }

    uint32_t send(void* request) {
        if (!request) {
            return SS_INVALID_SRB;
        }
        auto* header = static_cast<SRB_Header*>(request);
        switch (header->SRB_Cmd) {
            case SC_HA_INQUIRY:
                return adapterInquiry(static_cast<SRB_HAInquiry*>(request));
            case SC_GET_DEV_TYPE:
                return deviceType(static_cast<SRB_GDEVBlock*>(request));
            case SC_EXEC_SCSI_CMD:
                return execute(static_cast<SRB_ExecSCSICmd*>(request));
            case SC_ABORT_SRB:
                return abort(static_cast<SRB_Abort*>(request));
            default:
                header->SRB_Status = SS_INVALID_SRB;
                return SS_INVALID_SRB;
        }
    }

    AttachedDrive* find(uint8_t adapter, uint8_t target, uint8_t lun) {
        for (auto& d : drives_) {
            if (d.address == ScsiAddress{adapter, target, lun}) {
                return &d;
            }
        }
        return nullptr;
    }

  private:
    Bus() {
        const DriveList list = parseDriveList(configurationText());
        for (const auto& error : list.errors) {
            std::fprintf(stderr, "vdrive: %s; the drive is left out\n", error.c_str());
        }
        for (const auto& config : list.drives) {
            try {
                std::unique_ptr<Disc> disc;
                if (config.source != "none") {
                    disc = openDisc(config.source);
                }
                AttachedDrive attached{*config.address,
                                       std::make_unique<VirtualDrive>(config, std::move(disc)),
                                       nullptr};
                if (config.delayMs > 0) {
                    attached.runner = std::make_unique<DelayedRunner>(
                        *attached.drive, std::chrono::milliseconds(config.delayMs));
                }
                adapterCount_ =
                    std::max(adapterCount_, static_cast<uint8_t>(config.address->adapter + 1));
                drives_.push_back(std::move(attached));
            } catch (const DiscError& error) {
                std::fprintf(stderr, "vdrive: drive \"%s\": %s; the drive is left out\n",
                             config.item.c_str(), error.what());
            }
        }
    }

    // Marks a request for an adapter that does not exist.
    template <typename Request>
    bool knownAdapter(Request* srb) const {
        if (srb->SRB_HaId < adapterCount_) {
            return true;
        }
        srb->SRB_Status = SS_INVALID_HA;
        return false;
    }

    uint32_t adapterInquiry(SRB_HAInquiry* srb) {
        if (!knownAdapter(srb)) {
            return SS_INVALID_HA;
        }
        srb->HA_Count = adapterCount_;
        srb->HA_SCSI_ID = 7;
        std::memcpy(srb->HA_ManagerId, "TONALDA VDRIVE  ", 16);
        char identifier[] = "Virtual SCSI 0  ";
        identifier[13] = static_cast<char>('0' + srb->SRB_HaId);  // adapters 0..7
        std::memcpy(srb->HA_Identifier, identifier, 16);
        std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
        int targets = 8;
        for (const auto& d : drives_) {
            if (d.address.adapter == srb->SRB_HaId && d.address.target >= 8) {
                targets = 16;
            }
        }
        srb->HA_Unique[3] = static_cast<uint8_t>(targets);
        const uint32_t maxTransfer = 0x100000;
        for (int i = 0; i < 4; ++i) {
            srb->HA_Unique[4 + i] = static_cast<uint8_t>(maxTransfer >> (8 * i));
        }
        srb->SRB_Status = SS_COMP;
        return SS_COMP;
    }

    uint32_t deviceType(SRB_GDEVBlock* srb) {
        if (!knownAdapter(srb)) {
            return SS_INVALID_HA;
        }
        AttachedDrive* d = find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (!d) {
            srb->SRB_DeviceType = 0x1F;
            srb->SRB_Status = SS_NO_DEVICE;
            return SS_NO_DEVICE;
        }
        srb->SRB_DeviceType = static_cast<uint8_t>(d->drive->config().deviceType);
        srb->SRB_Status = SS_COMP;
        return SS_COMP;
    }

    uint32_t execute(SRB_ExecSCSICmd* srb) {
        if (!knownAdapter(srb)) {
            return SS_INVALID_HA;
        }
        AttachedDrive* d = find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
        if (!d) {
            srb->SRB_Status = SS_NO_DEVICE;
            return SS_NO_DEVICE;
        }
        if (d->runner) {
            setStatus(&srb->SRB_Status, SS_PENDING);
            d->runner->submit(srb);
            return SS_PENDING;
        }
        runRequest(*d->drive, srb);
        return srb->SRB_Status;
    }

    uint32_t abort(SRB_Abort* srb) {
        if (!knownAdapter(srb)) {
            return SS_INVALID_HA;
        }
        for (auto& d : drives_) {
            if (d.runner && d.runner->abort(srb->SRB_ToAbort)) {
                break;
            }
        }
        srb->SRB_Status = SS_COMP;
        return SS_COMP;
    }

    std::vector<AttachedDrive> drives_;
    uint8_t adapterCount_ = 0;
};

}  // namespace

}  // namespace tonalda::vdrive

using tonalda::vdrive::Bus;

// The number of host adapters in the low byte and the status (completed, or no adapters) above.
TONALDA_EXPORT uint32_t GetASPI32SupportInfo(void) {
    return Bus::instance().supportInfo();
}

// Carries out one request record; returns its status (SS_PENDING when it completes later).
// Thread: any; requests to one drive run one at a time.
TONALDA_EXPORT uint32_t SendASPI32Command(void* request) {
    return Bus::instance().send(request);
}

// Diagnostics for tests and tools: the byte shift of the drive's last read. Returns 1 and sets
// *shift, or 0 when there is no drive at that address.
TONALDA_EXPORT int TonaldaVDriveLastJitter(uint8_t adapter, uint8_t target, uint8_t lun,
                                           int* shift) {
    auto* d = Bus::instance().find(adapter, target, lun);
    if (!d || !shift) {
        return 0;
    }
    *shift = d->drive->lastJitterShift();
    return 1;
}
