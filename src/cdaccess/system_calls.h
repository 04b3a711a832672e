#pragma once
// The few system calls the native transport makes, behind an interface so that the transport can
// be exercised without hardware. The real implementation talks to /dev/srN through SG_IO.

#include <scsi/sg.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tonalda {

// Thread: any; the native transport calls them at start-up and under a drive's session lock.
class SystemCalls {
  public:
    virtual ~SystemCalls() = default;

    // Whether the CD-ROM unit N (/dev/srN) exists and reports SCSI peripheral type 5.
    virtual bool isCdRom(int unit) = 0;
    // open(2): a descriptor, or -errno.
    virtual int open(const std::string& path, int flags) = 0;
    virtual void close(int fd) = 0;
    // ioctl(SG_IO): 0, or the errno of a failed call. The header reports the command's outcome.
    virtual int sgIo(int fd, sg_io_hdr_t& header) = 0;
    // ioctl(SCSI_IOCTL_GET_IDLUN): 0 and the packed word
    // id | lun << 8 | channel << 16 | host << 24, or the errno of a failed call.
    virtual int getIdLun(int fd, std::uint32_t& packed) = 0;
};

// The running system's calls. Thread: any.
std::shared_ptr<SystemCalls> realSystemCalls();

}  // namespace tonalda
