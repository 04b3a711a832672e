// Runs inside the test VM (see native_drive_vm.py): drives the CD engine over the native
// transport against the kernel's real sr devices and reports what happened, one JSON object per
// line after "@@ " on standard output. It decides nothing itself: the host side holds the
// expectations (the ISO images, the QEMU set-up, sysfs) and asserts.
//
//   native_drive_probe root        drive list, sessions, reads, speeds, refusals, empty drive,
//                                  and a medium change (waits for a line on standard input)
//   native_drive_probe user UID    drops to UID before opening anything, then the checks that
//                                  show what read-only access allows
//
// The drives are told apart by where the kernel put them: the AHCI port 0 drive holds the disc,
// port 1 is empty, and the virtio-scsi drive refuses READ CD.

#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_report.h"
#include "cdaccess/aspi_abi.h"
#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdaccess/native_transport.h"
#include "rip/track_list.h"

namespace tonalda::vmprobe {
namespace {

constexpr std::uint32_t kBlockFrames = 26;
constexpr std::size_t kUserDataOffset = 16;  // sync (12) and header (4) come first
constexpr std::size_t kUserDataBytes = 2048;

// ---- reporting --------------------------------------------------------------------------------

using cli::jsonString;

class Event {
  public:
    explicit Event(std::string_view name) { text("event", name); }
    Event& text(std::string_view key, std::string_view value) {
        return raw(key, jsonString(value));
    }
    Event& number(std::string_view key, long long value) { return raw(key, std::to_string(value)); }
    Event& raw(std::string_view key, const std::string& json) {
        body_ += (body_.empty() ? "" : ",") + jsonString(key) + ":" + json;
        return *this;
    }
    // What the engine keeps about a failure (see freshOutcome); the sense only when it failed.
    Event& engineOutcome(CdEngine& engine, int result) {
        const SenseData sense = result == 1 ? SenseData{} : engine.lastSense();
        return number("result", result)
            .number("error", engine.getLastCdError())
            .number("status", engine.getLastScsiStatus())
            .number("sense_key", sense.key())
            .number("asc", sense.asc())
            .number("ascq", sense.ascq());
    }
    void emit() const { std::cout << "@@ {" << body_ << "}" << std::endl; }

  private:
    std::string body_;
};

std::string hex64(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    }
    return hash;
}

// Clears the engine's last error and status, so that what a step reports is its own.
void freshOutcome(CdEngine& engine) {
    engine.getLastCdError();
    engine.getLastScsiStatus();
}

// ---- the system calls, traced -------------------------------------------------------------------

// Passes every call to the running system and reports it with what the kernel answered.
class TracingSystemCalls final : public SystemCalls {
  public:
    explicit TracingSystemCalls(std::shared_ptr<SystemCalls> real) : real_(std::move(real)) {}

    bool isCdRom(int unit) override { return real_->isCdRom(unit); }

    int open(const std::string& path, int flags) override {
        const int fd = real_->open(path, flags);
        Event("open")
            .text("path", path)
            .text("access", (flags & O_ACCMODE) == O_RDWR ? "rw" : "ro")
            .number("result", fd)
            .emit();
        if (fd >= 0) {
            paths_[fd] = path;
        }
        return fd;
    }

    void close(int fd) override {
        paths_.erase(fd);
        real_->close(fd);
    }

    int sgIo(int fd, sg_io_hdr_t& header) override {
        const int error = real_->sgIo(fd, header);
        const auto* cdb = header.cmdp;
        const auto* sense = static_cast<const std::uint8_t*>(header.sbp);
        const bool hasSense = error == 0 && header.sb_len_wr >= 14;
        Event event("sgio");
        event.text("path", pathOf(fd))
            .number("op", cdb[0])
            .number("byte9", header.cmd_len > 9 ? cdb[9] : 0)
            .number("dir", header.dxfer_direction)
            .number("length", header.dxfer_len)
            .number("errno", error);
        if (error == 0) {
            event.number("scsi_status", header.status)
                .number("host_status", header.host_status)
                .number("driver_status", header.driver_status)
                .number("resid", header.resid)
                .number("sense_code", hasSense ? sense[0] : 0)
                .number("sense_key", hasSense ? sense[2] & 0x0F : 0)
                .number("asc", hasSense ? sense[12] : 0)
                .number("ascq", hasSense ? sense[13] : 0);
        }
        event.emit();
        return error;
    }

    int getIdLun(int fd, std::uint32_t& packed) override {
        const int error = real_->getIdLun(fd, packed);
        Event("idlun")
            .text("path", pathOf(fd))
            .number("errno", error)
            .number("packed", error == 0 ? packed : 0)
            .emit();
        return error;
    }

  private:
    std::string pathOf(int fd) const {
        const auto found = paths_.find(fd);
        return found != paths_.end() ? found->second : "?";
    }

    std::shared_ptr<SystemCalls> real_;
    std::map<int, std::string> paths_;
};

// ---- the drives ---------------------------------------------------------------------------------

// The drive letter of the sr device the kernel put under a sysfs path containing the marker.
std::optional<char> letterUnder(std::string_view marker) {
    for (int unit = 0; unit < 24; ++unit) {
        std::error_code error;
        const auto device =
            std::filesystem::canonical("/sys/block/sr" + std::to_string(unit) + "/device", error);
        if (!error && device.string().find(marker) != std::string::npos) {
            return static_cast<char>('C' + unit);
        }
    }
    return std::nullopt;
}

struct Drives {
    CdDriveList list{};
    std::map<char, ScsiAddress> addressOfLetter;

    int unitOf(char letter) const {
        const auto found = addressOfLetter.find(letter);
        for (int i = 0; found != addressOfLetter.end() && i < list.count; ++i) {
            if (list.drives[i].address() == found->second) {
                return i;
            }
        }
        return -1;
    }
    std::optional<ScsiAddress> addressOf(std::optional<char> letter) const {
        if (!letter || !addressOfLetter.contains(*letter)) {
            return std::nullopt;
        }
        return addressOfLetter.at(*letter);
    }
};

std::string addressText(const ScsiAddress& address) {
    return std::to_string(address.adapter) + ":" + std::to_string(address.target) + ":" +
           std::to_string(address.lun);
}

Drives startEngineAndListDrives(CdEngine& engine) {
    const bool started = engine.initCdEngine();
    const ActiveTransport transport = engine.activeTransport();
    Event("engine")
        .number("started", started)
        .text("transport", transport == ActiveTransport::Native ? "native"
                           : transport == ActiveTransport::Aspi ? "aspi"
                                                                : "none")
        .number("error", engine.getLastCdError())
        .emit();

    Drives drives;
    if (const NativeTransport* native = engine.nativeTransport()) {
        Event("adapters").number("count", native->table().adapterCount).emit();
        for (const NativeDriveEntry& entry : native->table().entries) {
            if (!entry.present) {
                continue;
            }
            const char letter = static_cast<char>('A' + entry.letterIndex);
            drives.addressOfLetter[letter] = entry.address;
            Event("letter")
                .text("letter", std::string(1, letter))
                .text("device", NativeTransport::devicePath(entry.letterIndex))
                .text("address", addressText(entry.address))
                .emit();
        }
    }
    drives.list.capacity = 8;
    engine.enumCdDrives(drives.list);
    Event("drives")
        .number("count", drives.list.count)
        .number("error", engine.getLastCdError())
        .emit();
    for (int i = 0; i < drives.list.count; ++i) {
        const CdDriveEntry& drive = drives.list.drives[i];
        Event("drive")
            .number("unit", i)
            .text("address", addressText(drive.address()))
            .text("vendor", drive.vendor)
            .text("product", drive.product)
            .text("revision", drive.revision)
            .text("name", drive.displayName)
            .emit();
    }
    return drives;
}

// ---- sessions -----------------------------------------------------------------------------------

class Session {
  public:
    Session(CdEngine& engine, const ScsiAddress& address, std::uint8_t method) : engine_(engine) {
        CdHandleRequest request;
        request.adapter = address.adapter;
        request.target = address.target;
        request.lun = address.lun;
        request.readMethod = method;
        freshOutcome(engine);
        handle_ = engine.getCDHandle(&request);
        Event("session")
            .text("address", addressText(address))
            .number("method", method)
            .number("handle", handle_)
            .number("error", engine.getLastCdError())
            .emit();
    }
    ~Session() {
        if (handle_ != 0) {
            engine_.closeCDHandle(handle_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int handle() const { return handle_; }
    std::uint8_t readMethod() const {
        const SessionTable* table = engine_.sessionTable();
        return handle_ != 0 && table != nullptr ? table->slots[handle_ - 1].readMethod : 0;
    }

  private:
    CdEngine& engine_;
    int handle_ = 0;
};

// Reads the table of contents in one address mode and reports its descriptors.
int reportToc(CdEngine& engine, int handle, bool msf, std::string_view step) {
    engine.setCdOption(handle, kCdOptionMsf, msf ? 1 : 0);
    DiscToc toc{};
    freshOutcome(engine);
    const int result = engine.readTOC(handle, toc);
    std::string descriptors = "[";
    for (std::size_t i = 0; result == 1 && i < toc.descriptorCount(); ++i) {
        const TocTrackDescriptor& track = toc.tracks[i];
        descriptors += std::string(i == 0 ? "" : ",") + "[" + std::to_string(track.trackNumber) +
                       "," + std::to_string(track.adrControl) + "," +
                       std::to_string(track.address[0]) + "," + std::to_string(track.address[1]) +
                       "," + std::to_string(track.address[2]) + "," +
                       std::to_string(track.address[3]) + "]";
    }
    Event("toc")
        .text("step", step)
        .text("mode", msf ? "msf" : "lba")
        .number("first", result == 1 ? toc.firstTrack : 0)
        .number("last", result == 1 ? toc.lastTrack : 0)
        .raw("descriptors", descriptors + "]")
        .engineOutcome(engine, result)
        .emit();
    return result;
}

std::uint32_t leadOutLba(CdEngine& engine, int handle) {
    engine.setCdOption(handle, kCdOptionMsf, 0);
    DiscToc toc{};
    if (engine.readTOC(handle, toc) != 1 || toc.descriptorCount() == 0) {
        return 0;
    }
    return toc.tracks[toc.descriptorCount() - 1].lba();
}

// Reads frames [first, end) in blocks and reports, per frame, the raw header and a digest of the
// user data inside the raw frame. Stops at the first failed block.
bool reportReads(CdEngine& engine, const Session& session, std::uint32_t first, std::uint32_t end,
                 std::string_view step) {
    FrameBuffer buffer = FrameBuffer::forFrames(kBlockFrames);
    for (std::uint32_t lba = first; lba < end; lba += kBlockFrames) {
        buffer.startFrame = lba;
        buffer.frameCount = std::min(kBlockFrames, end - lba);
        buffer.length = 0;
        buffer.status = 0;
        freshOutcome(engine);
        const int result = engine.readCDAudio(session.handle(), buffer);
        std::string frames = "[";
        for (std::uint32_t i = 0; result == 1 && i < buffer.frameCount; ++i) {
            const std::uint8_t* frame = buffer.data.data() + buffer.startOffset + i * kFrameBytes;
            std::string head;
            for (std::size_t b = 0; b < kUserDataOffset; ++b) {
                char byte[3];
                std::snprintf(byte, sizeof byte, "%02x", frame[b]);
                head += byte;
            }
            frames += std::string(i == 0 ? "" : ",") + "[" + jsonString(head) + "," +
                      jsonString(hex64(fnv1a(frame + kUserDataOffset, kUserDataBytes))) + "]";
        }
        Event("read")
            .text("step", step)
            .number("lba", lba)
            .number("frames", buffer.frameCount)
            .number("length", result == 1 ? buffer.length : 0)
            .number("method", session.readMethod())
            .raw("data", frames + "]")
            .engineOutcome(engine, result)
            .emit();
        if (result != 1) {
            return false;
        }
    }
    return true;
}

void reportSpeed(CdEngine& engine, int handle, std::uint32_t speed, std::string_view step) {
    freshOutcome(engine);
    const int result = engine.setCdSpeed(handle, speed);
    Event("speed").text("step", step).number("speed", speed).engineOutcome(engine, result).emit();
}

// Two data sectors read with READ(10) into a buffer of the given size, asking for the residual.
void reportResidual(CdEngine& engine, const ScsiAddress& address, std::string_view step,
                    std::size_t room) {
    std::vector<std::uint8_t> data(room);
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = address.adapter;
    srb.SRB_Target = address.target;
    srb.SRB_Lun = address.lun;
    srb.SRB_Flags = SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT;
    srb.SRB_BufLen = static_cast<std::uint32_t>(data.size());
    srb.SRB_BufPointer = data.data();
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_CDBLen = 10;
    const std::uint8_t cdb[10] = {0x28, 0, 0, 0, 0, 16, 0, 0, 2, 0};
    std::memcpy(srb.CDBByte, cdb, sizeof cdb);
    const std::uint8_t status = engine.sendScsiRequest(&srb);
    Event("residual")
        .text("step", step)
        .number("status", status)
        .number("asked", static_cast<long long>(data.size()))
        .number("residual", srb.SRB_BufLen)
        .text("first_sector_digest", hex64(fnv1a(data.data(), kUserDataBytes)))
        .emit();
}

// READ(10) of two data sectors into room for exactly them and into room for two raw frames.
void reportResiduals(CdEngine& engine, const ScsiAddress& address, std::string_view step) {
    for (const std::size_t room : {2 * kUserDataBytes, 2 * kFrameBytes}) {
        reportResidual(engine, address, step, room);
    }
}

// The player's commands: play the first seconds, pause, stop.
void reportPlayer(CdEngine& engine, int handle, std::string_view step) {
    freshOutcome(engine);
    const int play = engine.playAudioMsf(handle, 0, 2, 0, 0, 4, 0);
    Event("player").text("step", step).text("command", "play").engineOutcome(engine, play).emit();
    freshOutcome(engine);
    const int pause = engine.pauseResumeCD(handle, true);
    Event("player").text("step", step).text("command", "pause").engineOutcome(engine, pause).emit();
    freshOutcome(engine);
    const int stop = engine.stopCD(handle);
    Event("player").text("step", step).text("command", "stop").engineOutcome(engine, stop).emit();
}

// ---- the checks ---------------------------------------------------------------------------------

void checkDiscDrive(CdEngine& engine, const ScsiAddress& address) {
    Session session(engine, address, 0);
    if (session.handle() == 0) {
        return;
    }
    reportToc(engine, session.handle(), false, "disc");
    reportToc(engine, session.handle(), true, "disc");
    reportSpeed(engine, session.handle(), kMaxSpeed, "disc");
    reportSpeed(engine, session.handle(), speedKBps(2), "disc");
    reportReads(engine, session, 0, leadOutLba(engine, session.handle()), "disc");
    reportResiduals(engine, address, "disc");
}

void checkRefusingDrive(CdEngine& engine, const ScsiAddress& address) {
    {
        Session session(engine, address, 1);
        reportToc(engine, session.handle(), false, "refusing");
        reportSpeed(engine, session.handle(), kMaxSpeed, "refusing");
        reportReads(engine, session, 16, 17, "refusing-method-1");
        reportPlayer(engine, session.handle(), "refusing");
        reportResiduals(engine, address, "refusing");
    }
    {
        Session session(engine, address, 0);
        reportReads(engine, session, 16, 17, "refusing-automatic");
    }
}

void checkEmptyDrive(CdEngine& engine, const Drives& drives, char letter) {
    {
        Session session(engine, drives.addressOfLetter.at(letter), 0);
        reportToc(engine, session.handle(), false, "empty");
    }
    // What the rip view's list shows for the drive.
    TrackList list(engine);
    CdRomSettings settings;
    settings.unit = drives.unitOf(letter);
    settings.speed = 6;
    const int ready = list.rebuild(drives.list, settings, 0);
    Event("tracklist")
        .text("step", "empty")
        .number("unit", settings.unit)
        .number("disc_ready", ready)
        .number("rows", list.rowCount())
        .text("empty_text", list.emptyListText())
        .emit();
}

void checkMediumChange(CdEngine& engine, const ScsiAddress& address) {
    Session session(engine, address, 0);
    reportToc(engine, session.handle(), false, "before-change");
    Event("wait").text("for", "medium-change").emit();
    std::string line;
    std::getline(std::cin, line);
    Event("resumed").text("line", line).emit();
    // A drive may first say that it has no medium (its tray was open) and only then report the
    // change; a user would press Refresh again, so the probe asks again, a few times at most.
    int result = 4;
    for (int attempt = 1; attempt <= 3 && result != 1; ++attempt) {
        result =
            reportToc(engine, session.handle(), false, "after-change-" + std::to_string(attempt));
    }
    reportReads(engine, session, 16, 16 + 3 * kBlockFrames, "after-change");
}

int runAsRoot() {
    CdEngineOptions options;
    options.system = std::make_shared<TracingSystemCalls>(realSystemCalls());
    CdEngine engine(options);
    const Drives drives = startEngineAndListDrives(engine);

    const std::optional<char> disc = letterUnder("/ata1/");
    const std::optional<char> empty = letterUnder("/ata2/");
    const std::optional<char> refusing = letterUnder("/virtio");
    Event("roles")
        .text("disc", disc ? std::string(1, *disc) : "")
        .text("empty", empty ? std::string(1, *empty) : "")
        .text("refusing", refusing ? std::string(1, *refusing) : "")
        .emit();
    if (const auto address = drives.addressOf(disc)) {
        checkDiscDrive(engine, *address);
    }
    if (const auto address = drives.addressOf(refusing)) {
        checkRefusingDrive(engine, *address);
    }
    if (empty && drives.addressOfLetter.contains(*empty)) {
        checkEmptyDrive(engine, drives, *empty);
    }
    if (const auto address = drives.addressOf(disc)) {
        checkMediumChange(engine, *address);
    }
    Event("done").text("phase", "root").emit();
    return 0;
}

int runAsUser(uid_t uid) {
    // Nothing is open yet: the engine below opens every device as this user.
    const bool dropped =
        setgroups(0, nullptr) == 0 && setgid(uid) == 0 && setuid(uid) == 0 && geteuid() == uid;
    Event("user")
        .number("uid", getuid())
        .number("euid", geteuid())
        .number("dropped", dropped)
        .emit();
    if (!dropped || geteuid() == 0) {
        return 1;
    }
    CdEngineOptions options;
    options.system = std::make_shared<TracingSystemCalls>(realSystemCalls());
    CdEngine engine(options);
    const Drives drives = startEngineAndListDrives(engine);
    const auto address = drives.addressOf(letterUnder("/ata1/"));
    if (!address) {
        return 1;
    }
    {
        Session session(engine, *address, 0);
        reportToc(engine, session.handle(), false, "user");
        reportSpeed(engine, session.handle(), kMaxSpeed, "user");
        reportReads(engine, session, 16, 16 + 2 * kBlockFrames, "user-automatic");
    }
    {
        // READ(10) after a MODE SELECT to 2352-byte blocks.
        Session session(engine, *address, 3);
        reportReads(engine, session, 16, 17, "user-mode-select");
    }
    Event("done").text("phase", "user").emit();
    return 0;
}

}  // namespace
}  // namespace tonalda::vmprobe

int main(int argc, char** argv) {
    const std::string_view phase = argc > 1 ? argv[1] : "";
    if (phase == "root" && argc == 2) {
        return tonalda::vmprobe::runAsRoot();
    }
    if (phase == "user" && argc == 3) {
        return tonalda::vmprobe::runAsUser(static_cast<uid_t>(std::stoul(argv[2])));
    }
    std::cerr << "usage: native_drive_probe root | user UID\n";
    return 2;
}
