#include "fake_system.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tonalda::testing {

namespace {

void checkCondition(sg_io_hdr_t& header, std::uint8_t key, std::uint8_t asc) {
    header.status = 0x02;
    header.driver_status = 0x08;
    auto* sense = static_cast<std::uint8_t*>(header.sbp);
    std::memset(sense, 0, header.mx_sb_len);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    header.sb_len_wr = 18;
}

void fillAudio(sg_io_hdr_t& header, std::uint32_t lba, std::uint32_t frames) {
    auto* out = static_cast<std::uint8_t*>(header.dxferp);
    const std::size_t bytes = std::min<std::size_t>(frames * 2352u, header.dxfer_len);
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = FakeSystem::audioByte(std::uint64_t{lba} * 2352 + i);
    }
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
    return nextFd_++;
}

void FakeSystem::close(int fd) {
    closed.push_back(fd);
    openDescriptors.erase(fd);
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
    if (logCommands) {
        FakeCommand logged{descriptor->second,
                           {cdb, cdb + header.cmd_len},
                           header.dxfer_direction,
                           header.dxfer_len,
                           {dataOut, dataOut + dataOutBytes}};
        commands.push_back(std::move(logged));
    }
    if (unit.staleDescriptor > 0) {
        --unit.staleDescriptor;
        return EBADF;
    }
    header.status = 0;
    header.host_status = 0;
    header.driver_status = 0;
    header.sb_len_wr = 0;
    // INQUIRY never reports a unit attention, as on real drives.
    if (unit.mediaChanges > 0 && cdb[0] != 0x12) {
        --unit.mediaChanges;
        checkCondition(header, 0x06, 0x28);
        return 0;
    }
    const std::uint8_t opcode = cdb[0];
    if (unit.refused.contains(opcode)) {
        checkCondition(header, 0x05, 0x20);
        return 0;
    }
    if (unit.silent.contains(opcode)) {
        return 0;
    }
    const std::uint32_t lba =
        (std::uint32_t{cdb[2]} << 24) | (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
    const bool read = opcode == 0xBE || opcode == 0x28 || opcode == 0xD8 || opcode == 0xD4;
    const std::uint32_t count = !read ? 0 : opcode == 0xD8 ? cdb[9] : cdb[8];
    if (read && unit.leadOut != 0 && lba + count > unit.leadOut) {
        checkCondition(header, 0x05, 0x21);
        return 0;
    }
    switch (opcode) {
        case 0x12:
            std::memcpy(header.dxferp, unit.inquiry.data(),
                        std::min<std::size_t>(unit.inquiry.size(), header.dxfer_len));
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
                checkCondition(header, 0x05, 0x24);
                return 0;
            }
            std::vector<std::uint8_t> reply = {0,
                                               0,
                                               0,
                                               8,
                                               0,
                                               0,
                                               0,
                                               0,
                                               0,
                                               static_cast<std::uint8_t>(unit.blockLength >> 16),
                                               static_cast<std::uint8_t>(unit.blockLength >> 8),
                                               static_cast<std::uint8_t>(unit.blockLength)};
            reply.insert(reply.end(), page->second.begin(), page->second.end());
            reply[0] = static_cast<std::uint8_t>(reply.size() - 1);
            std::memcpy(header.dxferp, reply.data(),
                        std::min<std::size_t>(reply.size(), header.dxfer_len));
            break;
        }
        case 0x43: {
            // One audio track from frame 0, then the lead-out, in LBA addressing.
            const std::uint8_t toc[20] = {0,
                                          18,
                                          1,
                                          1,
                                          0,
                                          0x10,
                                          1,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0,
                                          0x10,
                                          0xAA,
                                          0,
                                          static_cast<std::uint8_t>(unit.leadOut >> 24),
                                          static_cast<std::uint8_t>(unit.leadOut >> 16),
                                          static_cast<std::uint8_t>(unit.leadOut >> 8),
                                          static_cast<std::uint8_t>(unit.leadOut)};
            if (unit.leadOut != 0)
                std::memcpy(header.dxferp, toc,
                            std::min<std::size_t>(sizeof toc, header.dxfer_len));
            break;
        }
        case 0xBE:
            fillAudio(header, lba, cdb[8]);
            break;
        case 0x28:
            if (unit.blockLength != 2352) {
                checkCondition(header, 0x05, 0x64);  // illegal mode for this track
                return 0;
            }
            fillAudio(header, lba, cdb[8]);
            break;
        case 0xD8:
            fillAudio(header, lba, cdb[9]);
            break;
        case 0xD4:
            fillAudio(header, lba, cdb[8]);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace tonalda::testing
