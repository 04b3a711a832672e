#include "cdaccess/system_calls.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace tonalda {

namespace {

class LinuxSystemCalls final : public SystemCalls {
  public:
    bool isCdRom(int unit) override {
        const std::string name = "sr" + std::to_string(unit);
        if (access(("/dev/" + name).c_str(), F_OK) != 0) {
            return false;
        }
        std::ifstream typeFile("/sys/block/" + name + "/device/type");
        int type = -1;
        return typeFile >> type && type == 5;
    }

    int open(const std::string& path, int flags) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }

    void close(int fd) override { ::close(fd); }

    int sgIo(int fd, sg_io_hdr_t& header) override {
        return ioctl(fd, SG_IO, &header) == 0 ? 0 : errno;
    }

    int getIdLun(int fd, std::uint32_t& packed) override {
        struct {
            std::uint32_t packed;
            std::uint32_t hostUniqueId;
        } idLun{};
        if (ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idLun) != 0) {
            return errno;
        }
        packed = idLun.packed;
        return 0;
    }
};

}  // namespace

std::shared_ptr<SystemCalls> realSystemCalls() {
    static const auto calls = std::make_shared<LinuxSystemCalls>();
    return calls;
}

}  // namespace tonalda
