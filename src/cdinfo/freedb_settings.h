#pragma once
// The FreeDB settings group: which CDDB server, its port and scripts, the user's e-mail and the
// HTTP proxy with its credentials. One process-wide record, loaded from the registry at start-up
// and after the settings page saves it.

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace tonalda {

struct FreeDbSettings {
    std::int32_t Server = 0;  // index into the server list; -1 when none is chosen
    std::int32_t Port = 0;
    std::string QueryScript;
    std::string SubmitScript;
    std::string email;
    std::int32_t proxy = 0;
    std::string proxyserver;
    std::int32_t pport = 0;
    // Only steers the settings page: credentials go out whenever the proxy is on.
    std::int32_t auth = 0;
    std::string username;
    std::string pass;
    bool operator==(const FreeDbSettings&) const = default;
};

inline constexpr std::string_view kFreeDbGroup = "FreeDB";

// Reads the FreeDB key into settings. False when the key cannot be opened (nothing changes) or a
// value is missing: the load stops there and the later fields keep their earlier contents.
// Thread: any.
bool loadFreeDbSettings(Registry& registry, FreeDbSettings& settings);
// Writes every value into the existing key (it is never created here). False when the key cannot
// be opened for writing or a write fails.
bool saveFreeDbSettings(Registry& registry, const FreeDbSettings& settings);

// The process-wide record. Thread: any; reads return a copy.
FreeDbSettings freeDbSettings();
// Loads the process-wide record from the registry (normally the program's).
bool loadFreeDbSettings(Registry& registry = Registry::instance());
// Saves settings as the settings page does and reloads the process-wide record from the same
// registry.
bool saveAndReloadFreeDbSettings(const FreeDbSettings& settings,
                                 Registry& registry = Registry::instance());

}  // namespace tonalda
