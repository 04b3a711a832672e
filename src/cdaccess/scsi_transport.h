#pragma once
// The way requests reach drives: an ASPI module loaded at run time or the system's own SCSI
// pass-through. The engine above never talks to a device in any other way.

#include <cstdint>

#include "cdaccess/cd_types.h"

namespace tonalda {

// How many host adapters a transport serves, and how asking went.
struct AdapterCount {
    int count = 0;            // 0..256: adapter numbers are bytes, so 255 is the highest
    std::uint8_t status = 0;  // 1 completed, 0xE8 no adapters; anything else failed
};

class ScsiTransport {
  public:
    virtual ~ScsiTransport() = default;

    // Thread: any.
    virtual AdapterCount adapterCount() = 0;

    // Carries out one request record (SRB_HAInquiry, SRB_GDEVBlock or SRB_ExecSCSICmd, told
    // apart by their first byte) and returns its status; 0 means pending, the record's completion
    // event is then set when it ends. Thread: any; callers serialise requests per drive.
    virtual std::uint8_t send(void* request) = 0;

    // A session was opened on the address; transports that keep device handles open one now.
    // Thread: any, under the open lock.
    virtual void sessionOpened(const ScsiAddress& /*address*/) {}
};

}  // namespace tonalda
