#include "fake_system.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tonalda::testing {

namespace {

void checkCondition(sg_io_hdr_t& header, const FakeUnit& unit, FakeSense code) {
    header.status = 0x02;
    header.driver_status = 0x08;
    auto* sense = static_cast<std::uint8_t*>(header.sbp);
    std::memset(sense, 0, header.mx_sb_len);
    sense[0] = unit.senseResponseCode;
    sense[2] = code.key;
    sense[7] = 10;
    sense[12] = code.asc;
    sense[13] = code.ascq;
    header.sb_len_wr = 18;
}

// Commands the kernel lets anybody send who could open the device, and those it allows on a
// descriptor opened for writing.
bool readSafe(std::uint8_t opcode) {
    static const std::set<std::uint8_t> kReadSafe = {0x00, 0x03, 0x12, 0x1A, 0x1B, 0x25,
                                                     0x28, 0x42, 0x43, 0x45, 0x47, 0x4B,
                                                     0x4E, 0x5A, 0xB9, 0xBE};
    return kReadSafe.contains(opcode);
}
bool writeSafe(std::uint8_t opcode) {
    return opcode == 0x15 || opcode == 0x55 || opcode == 0xBB || opcode == 0x2A;
}

std::uint32_t fillAudio(sg_io_hdr_t& header, std::uint32_t lba, std::uint32_t frames) {
    auto* out = static_cast<std::uint8_t*>(header.dxferp);
    const std::size_t bytes = std::min<std::size_t>(frames * 2352u, header.dxfer_len);
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = FakeSystem::audioByte(std::uint64_t{lba} * 2352 + i);
    }
    return static_cast<std::uint32_t>(bytes);
}

std::uint8_t bcd(int value) {
    return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

// Mode 1 data sectors: the user data alone, or whole raw frames (sync, header, user data, and
// EDC/ECC left zero).
std::uint32_t fillData(sg_io_hdr_t& header, std::uint32_t lba, std::uint32_t frames, bool raw) {
    auto* out = static_cast<std::uint8_t*>(header.dxferp);
    const std::uint32_t frameBytes = raw ? 2352 : 2048;
    const std::uint32_t count = std::min(frames, header.dxfer_len / frameBytes);
    for (std::uint32_t f = 0; f < count; ++f) {
        std::uint8_t* frame = out + f * frameBytes;
        std::uint8_t* user = frame;
        if (raw) {
            std::memset(frame, 0, 2352);
            std::memset(frame + 1, 0xFF, 10);
            const int position = static_cast<int>(lba + f) + 150;
            frame[12] = bcd(position / 4500);
            frame[13] = bcd(position / 75 % 60);
            frame[14] = bcd(position % 75);
            frame[15] = 1;
            user = frame + 16;
        }
        for (std::uint32_t i = 0; i < 2048; ++i) {
            user[i] = FakeSystem::dataByte(lba + f, i);
        }
    }
    return count * frameBytes;
}

void fillToc(sg_io_hdr_t& header, std::uint32_t leadOut, bool msf) {
    std::uint8_t reply[20] = {0, 18, 1, 1, 0, 0x14, 1, 0, 0, 0, 0, 0, 0, 0x14, 0xAA, 0};
    auto address = [&](std::uint8_t* at, std::uint32_t lba) {
        if (msf) {
            at[1] = static_cast<std::uint8_t>((lba + 150) / 4500);
            at[2] = static_cast<std::uint8_t>((lba + 150) / 75 % 60);
            at[3] = static_cast<std::uint8_t>((lba + 150) % 75);
        } else {
            for (int i = 0; i < 4; ++i) {
                at[i] = static_cast<std::uint8_t>(lba >> (24 - 8 * i));
            }
        }
    };
    address(reply + 8, 0);
    address(reply + 16, leadOut);
    std::memcpy(header.dxferp, reply, std::min<std::size_t>(sizeof reply, header.dxfer_len));
}

}  // namespace

FakeUnit& FakeSystem::addUnit(int unit, std::uint8_t host, std::uint8_t target, std::uint8_t lun,
                              const std::string& vendor, const std::string& product) {
    FakeUnit& fake = units[unit];
    fake.idLun = target | (lun << 8) | (std::uint32_t{host} << 24);
    fake.inquiry.fill(' ');
    fake.inquiry[0] = 5;
    std::memcpy(&fake.inquiry[8], vendor.data(), std::min<std::size_t>(vendor.size(), 8));
    std::memcpy(&fake.inquiry[16], product.data(), std::min<std::size_t>(product.size(), 16));
    std::memcpy(&fake.inquiry[32], "1.00", 4);
    return fake;
}

bool FakeSystem::isCdRom(int unit) {
    const auto found = units.find(unit);
    return found != units.end() && found->second.cdRom;
}

int FakeSystem::open(const std::string& path, int flags) {
    if (!path.starts_with("/dev/sr")) {
        return -ENOENT;
    }
    const int unit = std::stoi(path.substr(7));
    const auto found = units.find(unit);
    if (found == units.end()) {
        return -ENOENT;
    }
    if ((flags & O_ACCMODE) == O_RDWR && found->second.readWriteRefused) {
        return -EACCES;
    }
    opened.push_back(path);
    openDescriptors[nextFd_] = unit;
    if ((flags & O_ACCMODE) == O_RDONLY) {
        readOnlyDescriptors.insert(nextFd_);
    }
    return nextFd_++;
}

void FakeSystem::close(int fd) {
    closed.push_back(fd);
    openDescriptors.erase(fd);
    readOnlyDescriptors.erase(fd);
}

int FakeSystem::getIdLun(int fd, std::uint32_t& packed) {
    const auto descriptor = openDescriptors.find(fd);
    if (descriptor == openDescriptors.end()) {
        return EBADF;
    }
    const FakeUnit& unit = units[descriptor->second];
    if (unit.idLunError != 0) {
        return unit.idLunError;
    }
    packed = unit.idLun;
    return 0;
}

int FakeSystem::sgIo(int fd, sg_io_hdr_t& header) {
    const auto descriptor = openDescriptors.find(fd);
    if (descriptor == openDescriptors.end()) {
        return EBADF;
    }
    FakeUnit& unit = units[descriptor->second];
    const auto* cdb = header.cmdp;
    const auto* dataOut = static_cast<const std::uint8_t*>(header.dxferp);
    const std::size_t dataOutBytes =
        header.dxfer_direction == SG_DXFER_TO_DEV ? header.dxfer_len : 0;
    if (logCommands)
        commands.push_back({descriptor->second,
                            {cdb, cdb + header.cmd_len},
                            header.dxfer_direction,
                            header.dxfer_len,
                            {dataOut, dataOut + dataOutBytes}});
    if (unit.staleDescriptor > 0) {
        --unit.staleDescriptor;
        return EBADF;
    }
    const std::uint8_t opcode = cdb[0];
    if (!rawIoCapable && !readSafe(opcode) &&
        !(writeSafe(opcode) && !readOnlyDescriptors.contains(fd))) {
        return EPERM;
    }
    header.status = 0;
    header.host_status = 0;
    header.driver_status = 0;
    header.sb_len_wr = 0;
    header.resid = 0;
    // INQUIRY never reports a unit attention, as on real drives.
    if (opcode != 0x12 && (unit.mediaChanges > 0 || !unit.pendingSense.empty())) {
        FakeSense sense{0x06, 0x28};
        if (unit.mediaChanges > 0) {
            --unit.mediaChanges;
        } else {
            sense = unit.pendingSense.front();
            unit.pendingSense.pop_front();
        }
        checkCondition(header, unit, sense);
        return 0;
    }
    if (unit.refused.contains(opcode)) {
        checkCondition(header, unit, {0x05, 0x20});
        return 0;
    }
    if (unit.hostErrors.contains(opcode)) {
        header.host_status = 0x07;  // DID_ERROR: no SCSI status, no sense
        return 0;
    }
    if (unit.silent.contains(opcode)) {
        if (unit.residualReported) {
            header.resid = static_cast<int>(header.dxfer_len);
        }
        return 0;
    }
    const std::uint32_t lba =
        (std::uint32_t{cdb[2]} << 24) | (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
    std::uint32_t transferred = header.dxfer_len;
    const bool read = opcode == 0xBE || opcode == 0x28 || opcode == 0xD8 || opcode == 0xD4;
    const std::uint32_t count = !read ? 0 : opcode == 0xD8 ? cdb[9] : cdb[8];
    if (read && unit.leadOut != 0 && lba + count > unit.leadOut) {
        checkCondition(header, unit, {0x05, 0x21});
        return 0;
    }
    switch (opcode) {
        case 0x12:
            std::memcpy(header.dxferp, unit.inquiry.data(),
                        std::min<std::size_t>(unit.inquiry.size(), header.dxfer_len));
            break;
        case 0x43:
            if (unit.leadOut != 0) {
                fillToc(header, unit.leadOut, (cdb[1] & 0x02) != 0);
            }
            break;
        case 0x15: {
            // A header, an optional 8-byte block descriptor, then pages.
            if (dataOutBytes < 4)
                break;
            std::size_t at = 4 + std::size_t{dataOut[3]};
            if (dataOut[3] == 8 && dataOutBytes >= 12)
                unit.blockLength = (dataOut[9] << 16) | (dataOut[10] << 8) | dataOut[11];
            while (at + 2 <= dataOutBytes && at + 2 + dataOut[at + 1] <= dataOutBytes) {
                const std::uint8_t code = dataOut[at] & 0x3F;
                if (unit.modePages.contains(code))
                    unit.modePages[code].assign(dataOut + at, dataOut + at + 2 + dataOut[at + 1]);
                at += 2 + dataOut[at + 1];
            }
            break;
        }
        case 0x1A: {
            const auto page = unit.modePages.find(cdb[2] & 0x3F);
            if (page == unit.modePages.end()) {
                checkCondition(header, unit, {0x05, 0x24});
                return 0;
            }
            // A header, the block descriptor, then the page.
            std::vector<std::uint8_t> reply = {0, 0, 0, 8, 0, 0, 0, 0, 0};
            for (const int shift : {16, 8, 0})
                reply.push_back(static_cast<std::uint8_t>(unit.blockLength >> shift));
            reply.insert(reply.end(), page->second.begin(), page->second.end());
            reply[0] = static_cast<std::uint8_t>(reply.size() - 1);
            std::memcpy(header.dxferp, reply.data(),
                        std::min<std::size_t>(reply.size(), header.dxfer_len));
            break;
        }
        case 0xBE:
            if (!unit.dataDisc) {
                transferred = fillAudio(header, lba, cdb[8]);
            } else if (cdb[9] == 0x10 || cdb[9] == 0xF8) {
                transferred = fillData(header, lba, cdb[8], cdb[9] == 0xF8);
            } else {
                checkCondition(header, unit, {0x05, 0x24});  // invalid field in the CDB
                return 0;
            }
            break;
        case 0x28:
            if (unit.dataDisc) {
                transferred = fillData(header, lba, cdb[8], unit.blockLength == 2352);
            } else if (unit.blockLength == 2352) {
                transferred = fillAudio(header, lba, cdb[8]);
            } else {
                checkCondition(header, unit, {0x05, 0x64});  // illegal mode for this track
                return 0;
            }
            break;
        case 0xD8:
            transferred = fillAudio(header, lba, cdb[9]);
            break;
        case 0xD4:
            transferred = fillAudio(header, lba, cdb[8]);
            break;
        default:
            break;
    }
    if (unit.residualReported) {
        header.resid = static_cast<int>(header.dxfer_len - transferred);
    } else if (transferred < header.dxfer_len) {
        // libata's ATAPI path: no residual, and the rest of the buffer comes back overwritten.
        std::memset(static_cast<std::uint8_t*>(header.dxferp) + transferred, 0,
                    header.dxfer_len - transferred);
    }
    return 0;
}

}  // namespace tonalda::testing
