// The audio read procedures of a session: the command each read method sends, its one-time
// set-up, the restore at close, and the automatic choice of a method that works on the drive.

#include <algorithm>
#include <cstring>

#include "cdaccess/aspi_abi.h"
#include "cdaccess/cd_engine.h"

namespace tonalda {

namespace {

// MODE SELECT parameter lists: a header with an 8-byte block descriptor, then a mode page.
constexpr std::uint8_t kBlockLength2352[12] = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30};
constexpr std::uint8_t kBlockLength2352Page23[20] = {0,    0,    0,    8,    0, 0, 0, 0, 0, 0,
                                                     0x09, 0x30, 0x23, 0x06, 0, 0, 0, 0, 0, 0x80};
constexpr std::uint8_t kBlockLength2352Page01[20] = {
    0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30, 0x01, 0x06, 0x20, 0x07, 0, 0, 0, 0};
constexpr std::uint8_t kVendorD4Setup[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x09, 0x30};
// Density code 0x53 and block length 2048: the drive's data-disc reading mode.
constexpr std::uint8_t kBlockLength2048[12] = {0, 0, 0, 8, 0x53, 0, 0, 0, 0, 0, 0x08, 0x00};

constexpr std::uint8_t kAutomaticOrder[] = {2, 1, 8, 4, 5, 6, 7};
// ILLEGAL REQUEST, LOGICAL BLOCK ADDRESS OUT OF RANGE: the frames asked for are not on the disc.
bool addressOutOfRange(const SenseData& sense) {
    return sense.key() == 0x05 && sense.asc() == 0x21;
}
// The mode pages the set-up of method 8 changes.
constexpr std::uint8_t kPageReadErrorRecovery = 0x01;
constexpr std::uint8_t kPageVendor23 = 0x23;
constexpr int kProbesPerMethod = 3;
constexpr std::uint8_t kProbeFill = 0xAA;
constexpr int kFillWordsThatMeanNoData = 8;

std::uint32_t usableBytes(const FrameBuffer& buffer) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(buffer.capacity, buffer.data.size()));
}

std::uint8_t lbaByte(const FrameBuffer& buffer, int shift) {
    return static_cast<std::uint8_t>(buffer.startFrame >> shift);
}

std::uint8_t frameCountByte(const FrameBuffer& buffer) {
    return static_cast<std::uint8_t>(buffer.frameCount & 0xFF);
}

ScsiCommand readCommand(FrameBuffer& buffer, std::array<std::uint8_t, 16> cdb,
                        std::uint8_t cdbLength, std::uint32_t dataLength) {
    ScsiCommand command;
    command.cdb = cdb;
    command.cdbLength = cdbLength;
    command.flags = SRB_DIR_IN;
    command.data = buffer.data.data();
    command.dataLength = dataLength;
    return command;
}

int finishRead(FrameBuffer& buffer, int result) {
    if (result == 1) {
        buffer.startOffset = 0;
        buffer.length = static_cast<std::uint32_t>(buffer.frameCount * kFrameBytes);
        buffer.status = 1;
    }
    return result;
}

ScsiAddress addressOf(const DriveSession& session) {
    return {session.adapter, session.target, session.lun};
}

// Eight words of the fill pattern in a row: the drive reported success without delivering.
bool holdsUndeliveredFill(const FrameBuffer& buffer) {
    const std::size_t end =
        std::min<std::size_t>(std::size_t{buffer.startOffset} + buffer.length, buffer.data.size());
    int run = 0;
    for (std::size_t offset = buffer.startOffset; offset + 4 <= end; offset += 4) {
        std::uint32_t word;
        std::memcpy(&word, &buffer.data[offset], sizeof word);
        run = word == 0xAAAAAAAAu ? run + 1 : 0;
        if (run == kFillWordsThatMeanNoData) {
            return true;
        }
    }
    return false;
}

}  // namespace

ReadProcedure readProcedureFor(std::uint8_t method) {
    switch (method) {
        case 1:
        case 2:
            return ReadProcedure::ReadCd;
        case 3:
        case 4:
        case 8:
            return ReadProcedure::Read10;
        case 5:
            return ReadProcedure::VendorD8;
        case 6:
        case 7:
            return ReadProcedure::VendorD4;
        default:
            return ReadProcedure::Automatic;
    }
}

int CdEngine::validateRead(int handle, const FrameBuffer& buffer, DriveSession*& session) {
    session = openSlot(handle);
    if (session == nullptr) {
        lastError_ = kCdErrInvalidHandle;
        return 4;
    }
    if (buffer.frameCount > kMaxFramesPerRead) {
        lastError_ = kCdErrBadFrameCount;
        return 4;
    }
    if (usableBytes(buffer) < std::uint64_t{buffer.frameCount} * kFrameBytes) {
        lastError_ = kCdErrBufferTooSmall;
        return 4;
    }
    return 1;
}

int CdEngine::readProcedure(int handle, FrameBuffer& buffer) {
    const DriveSession* session = openSlot(handle);
    if (session == nullptr) {
        lastError_ = kCdErrInvalidHandle;
        return 4;
    }
    switch (session->readProcedure) {
        case ReadProcedure::ReadCd:
            return readCd(handle, buffer);
        case ReadProcedure::Read10:
            return read10(handle, buffer);
        case ReadProcedure::VendorD8:
        case ReadProcedure::VendorD4:
            return readVendor(handle, buffer);
        case ReadProcedure::Automatic:
        default:
            return readAutomatic(handle, buffer);
    }
}

int CdEngine::modeSelect(const DriveSession& session, std::uint8_t byte1,
                         std::uint8_t parameterLength, const std::uint8_t* list,
                         std::uint32_t listBytes, std::uint8_t flags) {
    std::array<std::uint8_t, 20> parameters{};
    std::memcpy(parameters.data(), list, std::min<std::size_t>(listBytes, parameters.size()));
    ScsiCommand command;
    command.cdb = {0x15, byte1, 0, 0, parameterLength, 0};
    command.cdbLength = 6;
    command.flags = flags;
    command.data = parameters.data();
    command.dataLength = listBytes;
    return executeScsi(addressOf(session), command);
}

int CdEngine::restoreBlockLength(DriveSession& session) {
    session.setupDone = 0;
    const int slot = static_cast<int>(&session - table().slots);
    const int result = modeSelect(session, 0x00, 0x0C, kBlockLength2048, sizeof kBlockLength2048,
                                  SRB_ENABLE_RESIDUAL_COUNT);
    restoreModePages(session, slot);
    return result;
}

// Reads the current values of the pages method 8 changes (MODE SENSE(6)), so that the restore can
// put them back. A page the drive does not report is not restored; nothing else can be known of it.
void CdEngine::saveModePages(const DriveSession& session, int slot) {
    SavedModePages& saved = savedPages_[static_cast<std::size_t>(slot)];
    saved = SavedModePages{};
    for (const std::uint8_t page : {kPageReadErrorRecovery, kPageVendor23}) {
        std::array<std::uint8_t, 255> reply{};
        ScsiCommand sense;
        sense.cdb = {0x1A, 0, page, 0, static_cast<std::uint8_t>(reply.size()), 0};
        sense.cdbLength = 6;
        sense.flags = SRB_DIR_IN;
        sense.data = reply.data();
        sense.dataLength = static_cast<std::uint32_t>(reply.size());
        if (executeScsi(addressOf(session), sense) != 1) {
            continue;
        }
        const std::size_t at = 4 + std::size_t{reply[3]};  // past the header and block descriptors
        auto& target = page == kPageReadErrorRecovery ? saved.page01 : saved.page23;
        if (at + 2 > reply.size() || (reply[at] & 0x3F) != page ||
            at + 2 + reply[at + 1] >
                std::min<std::size_t>(reply.size(), 1 + std::size_t{reply[0]}) ||
            2 + std::size_t{reply[at + 1]} > target.size()) {
            continue;
        }
        std::memcpy(target.data(), &reply[at], 2 + std::size_t{reply[at + 1]});
        target[0] &= 0x3F;  // the saveable bit is not part of what is sent back
        (page == kPageReadErrorRecovery ? saved.has01 : saved.has23) = true;
    }
}

void CdEngine::restoreModePages(const DriveSession& session, int slot) {
    if (slot < 0 || slot >= kSessionSlots) {
        return;
    }
    SavedModePages& saved = savedPages_[static_cast<std::size_t>(slot)];
    for (const auto& [has, page] :
         {std::pair{saved.has01, &saved.page01}, std::pair{saved.has23, &saved.page23}}) {
        if (!has) {
            continue;
        }
        // A 4-byte header without block descriptors, then the page as the drive reported it.
        std::array<std::uint8_t, 4 + 2 + 64> list{};
        const std::size_t pageBytes = 2 + std::size_t{(*page)[1]};
        std::memcpy(list.data() + 4, page->data(), pageBytes);
        const auto length = static_cast<std::uint8_t>(4 + pageBytes);
        ScsiCommand select;
        select.cdb = {0x15, 0x10, 0, 0, length, 0};
        select.cdbLength = 6;
        select.data = list.data();
        select.dataLength = length;
        executeScsi(addressOf(session), select);
    }
    saved = SavedModePages{};
}

// READ CD (methods 1 and 2), with TEST UNIT READY before each read.
int CdEngine::readCd(int handle, FrameBuffer& buffer) {
    return withSession(handle, [&](DriveSession&) {
        DriveSession* session = nullptr;
        if (validateRead(handle, buffer, session) != 1) {
            return 4;
        }
        ScsiCommand testUnitReady;
        testUnitReady.cdbLength = 12;
        testUnitReady.flags = SRB_DIR_IN;
        executeScsi(addressOf(*session), testUnitReady);  // only wakes the drive; result unused

        // Method 2 asks for the whole raw frame (sync, headers, user data, EDC/ECC): 2352 bytes
        // whatever the sector holds. Without EDC/ECC a data sector would come back 2064 bytes
        // long and the rest of its frame would be stale bytes passed off as read.
        const std::uint8_t selection = session->readMethod == 2 ? 0xF8 : 0x10;
        const ScsiCommand read =
            readCommand(buffer,
                        {0xBE, 0, 0, lbaByte(buffer, 16), lbaByte(buffer, 8), lbaByte(buffer, 0), 0,
                         0, frameCountByte(buffer), selection, 0, 0},
                        12, usableBytes(buffer));
        return finishRead(buffer, executeScsi(addressOf(*session), read));
    });
}

// READ(10) after a MODE SELECT to 2352-byte blocks (methods 3, 4 and 8). Runs inside the
// caller's hold of the session.
int CdEngine::read10(int handle, FrameBuffer& buffer) {
    DriveSession* session = nullptr;
    if (validateRead(handle, buffer, session) != 1) {
        return 4;
    }
    if (session->setupDone == 0) {
        bool setUp = false;
        if (session->readMethod == 8) {
            saveModePages(*session, handle - 1);
            const bool first = modeSelect(*session, 0x10, 0x14, kBlockLength2352Page23,
                                          sizeof kBlockLength2352Page23, 0) == 1;
            setUp = first && modeSelect(*session, 0x10, 0x14, kBlockLength2352Page01,
                                        sizeof kBlockLength2352Page01, 0) == 1;
            if (first && !setUp) {
                // The first half changed the block length and page 0x23: undo it before the
                // set-up is tried again at the next read.
                restoreBlockLength(*session);
            }
        } else {
            setUp =
                modeSelect(*session, 0x00, 0x0C, kBlockLength2352, sizeof kBlockLength2352, 0) == 1;
        }
        if (!setUp) {
            return 4;  // tried again at the next read
        }
        session->closeProcedure = CloseProcedure::RestoreBlockLength;
        session->setupDone = 1;
    }
    const ScsiCommand read =
        readCommand(buffer,
                    {0x28, static_cast<std::uint8_t>(session->lun << 5), 0, lbaByte(buffer, 16),
                     lbaByte(buffer, 8), lbaByte(buffer, 0), 0, 0, frameCountByte(buffer), 0},
                    10, usableBytes(buffer));
    return finishRead(buffer, executeScsi(addressOf(*session), read));
}

// The vendor reads 0xD8 (method 5) and 0xD4 (methods 6 and 7), after a PAUSE.
int CdEngine::readVendor(int handle, FrameBuffer& buffer) {
    return withSession(handle, [&](DriveSession&) {
        DriveSession* session = nullptr;
        if (validateRead(handle, buffer, session) != 1) {
            return 4;
        }
        if (session->setupDone == 0) {
            // Set-up results do not matter: drives that need none refuse these harmlessly.
            pauseResumeCD(handle, true);
            if (session->readMethod == 7) {
                modeSelect(*session, 0x10, 0x08, kVendorD4Setup, sizeof kVendorD4Setup, 0);
            }
            session->setupDone = 1;
        }
        const std::uint8_t count = frameCountByte(buffer);
        const ScsiCommand read =
            session->readProcedure == ReadProcedure::VendorD8
                ? readCommand(buffer,
                              {0xD8, 0, 0, lbaByte(buffer, 16), lbaByte(buffer, 8),
                               lbaByte(buffer, 0), 0, 0, 0, count, 0, 0},
                              12, static_cast<std::uint32_t>(count * kFrameBytes))
                : readCommand(buffer,
                              {0xD4, 0, 0, lbaByte(buffer, 16), lbaByte(buffer, 8),
                               lbaByte(buffer, 0), 0, 0, count, 0},
                              10, usableBytes(buffer));
        return finishRead(buffer, executeScsi(addressOf(*session), read));
    });
}

int CdEngine::probe(int handle, FrameBuffer& buffer) {
    std::fill_n(buffer.data.begin(), buffer.frameCount * kFrameBytes, kProbeFill);
    const int result = readProcedure(handle, buffer);
    if (result != 1) {
        return result;
    }
    return holdsUndeliveredFill(buffer) ? 4 : 1;
}

// Tries the methods in the order that suits most drives; the first that delivers stays.
int CdEngine::readAutomatic(int handle, FrameBuffer& buffer) {
    DriveSession* session = nullptr;
    if (validateRead(handle, buffer, session) != 1) {
        return 4;
    }
    int result = 4;
    bool outOfRange = false;
    for (const std::uint8_t method : kAutomaticOrder) {
        if (outOfRange) {
            break;
        }
        // A method given up after its set-up changed the block length must not leave the drive
        // in 2352-byte blocks: nobody would restore them at close.
        if (session->closeProcedure == CloseProcedure::RestoreBlockLength) {
            restoreBlockLength(*session);
        }
        session->readMethod = method;
        session->readProcedure = readProcedureFor(method);
        session->closeProcedure = CloseProcedure::None;
        session->setupDone = 0;
        for (int attempt = 0; attempt < kProbesPerMethod; ++attempt) {
            recordSense(nullptr);  // what follows is this probe's
            result = probe(handle, buffer);
            if (result == 1) {
                return 1;
            }
            // Frames beyond the disc are refused whatever the method: that says nothing about
            // this one, and trying the others would only change the drive's settings for nothing.
            if (addressOutOfRange(lastSense())) {
                outOfRange = true;
                break;
            }
        }
    }
    if (session->closeProcedure == CloseProcedure::RestoreBlockLength) {
        restoreBlockLength(*session);
    }
    session->readMethod = 0;
    session->readProcedure = ReadProcedure::Automatic;
    session->closeProcedure = CloseProcedure::None;
    session->setupDone = 0;
    return result;
}

}  // namespace tonalda
