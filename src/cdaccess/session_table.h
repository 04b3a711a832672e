#pragma once
// The table of open drive sessions, kept in a named shared block so that every process running
// the engine sees the same sessions (two processes cannot open one drive). All words are 32-bit
// little-endian; the layout is fixed, later versions may rely on it.

#include <cstddef>
#include <cstdint>

namespace tonalda {

// Which routine reads audio for a session; follows from the read method.
enum class ReadProcedure : std::uint32_t {
    Automatic = 0,
    ReadCd = 1,    // methods 1, 2
    Read10 = 2,    // methods 3, 4, 8
    VendorD8 = 3,  // method 5
    VendorD4 = 4,  // methods 6, 7
};

// What closing a session must undo.
enum class CloseProcedure : std::uint32_t {
    None = 0,
    RestoreBlockLength = 1,  // a READ(10) set-up changed the block length to 2352
};

struct DriveSession {
    std::uint8_t adapter;
    std::uint8_t target;
    std::uint8_t lun;
    std::uint8_t readMethod;  // 0 = not yet determined
    std::uint32_t inUse;
    std::uint32_t msfAddressing;  // READ TOC in MSF when nonzero, else LBA
    std::uint32_t setupDone;
    // The process that opened the session, so that a session left by a process that died can be
    // taken back (the shared block outlives the processes that use it).
    std::uint32_t ownerProcess;
    std::uint8_t reserved[68];
    ReadProcedure readProcedure;
    CloseProcedure closeProcedure;
    std::uint32_t jitterCheckFrames;
    std::uint32_t overlapFrames;
    std::uint32_t jitterMode;  // 0 never, 1 always, 2 on error; stored only
};
static_assert(sizeof(DriveSession) == 108);
static_assert(offsetof(DriveSession, readProcedure) == 88);

constexpr int kSessionSlots = 16;
constexpr std::uint32_t kSessionTableSize = 1804;
constexpr std::uint32_t kSessionTableVersion = 2;

struct SessionTable {
    std::uint32_t size;
    std::uint32_t version;
    DriveSession slots[kSessionSlots];
    std::uint32_t lockHandles[kSessionSlots];  // this process's lock numbers, rewritten at start-up
    std::uint32_t nextSlot;                    // where the next free-slot search starts
};
static_assert(sizeof(SessionTable) == kSessionTableSize);
static_assert(offsetof(SessionTable, lockHandles) == 1736);
static_assert(offsetof(SessionTable, nextSlot) == 1800);

}  // namespace tonalda
