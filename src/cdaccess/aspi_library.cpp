#include "cdaccess/aspi_library.h"

#include <dlfcn.h>

#include <cstdlib>

#include "cdaccess/aspi_abi.h"

namespace tonalda {

namespace {

class AspiTransport final : public ScsiTransport {
  public:
    AspiTransport(GetASPI32SupportInfoFn supportInfo, SendASPI32CommandFn send)
        : supportInfo_(supportInfo), send_(send) {}

    // The module packs the count into the low byte and the status into the next.
    AdapterCount adapterCount() override {
        const std::uint32_t info = supportInfo_();
        return {static_cast<int>(info & 0xFF), static_cast<std::uint8_t>(info >> 8)};
    }
    std::uint8_t send(void* request) override {
        // The module returns the status in the low byte, as it also stores it in the record.
        return static_cast<std::uint8_t>(send_(request));
    }

  private:
    GetASPI32SupportInfoFn supportInfo_;
    SendASPI32CommandFn send_;
};

}  // namespace

std::string defaultAspiLibrary() {
    const char* named = std::getenv("TONALDA_ASPI_LIBRARY");
    return named != nullptr && *named != '\0' ? named : "libwnaspi32.so";
}

AspiLoadResult loadAspiLibrary(const std::string& library) {
    AspiLoadResult result;
    // Never closed: see the header.
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        result.error = error != nullptr ? error : "cannot load " + library;
        return result;
    }
    auto supportInfo =
        reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(handle, TONALDA_ASPI_SUPPORT_INFO_NAME));
    auto send =
        reinterpret_cast<SendASPI32CommandFn>(dlsym(handle, TONALDA_ASPI_SEND_COMMAND_NAME));
    if (supportInfo == nullptr) {
        result.outcome = AspiLoadOutcome::MissingSupportInfo;
    } else if (send == nullptr) {
        result.outcome = AspiLoadOutcome::MissingSendCommand;
    } else {
        result.outcome = AspiLoadOutcome::Loaded;
        result.transport = std::make_unique<AspiTransport>(supportInfo, send);
    }
    return result;
}

}  // namespace tonalda
