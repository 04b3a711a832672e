#pragma once
// Loading an ASPI module: `$TONALDA_ASPI_LIBRARY` when set, else libwnaspi32.so on the library
// search path. Once loaded the module stays loaded for the life of the process (requests that a
// module still completes after a time-out must find its code in place).

#include <memory>
#include <string>

#include "cdaccess/scsi_transport.h"

namespace tonalda {

enum class AspiLoadOutcome {
    NotLoaded,           // no such module, or it could not be loaded
    MissingSupportInfo,  // loaded, but GetASPI32SupportInfo is missing
    MissingSendCommand,  // loaded, but SendASPI32Command is missing
    Loaded,
};

struct AspiLoadResult {
    AspiLoadOutcome outcome = AspiLoadOutcome::NotLoaded;
    std::unique_ptr<ScsiTransport> transport;  // set when Loaded
    std::string error;                         // what the loader said when NotLoaded
};

// The module the program loads: $TONALDA_ASPI_LIBRARY, else "libwnaspi32.so".
// Thread: any.
std::string defaultAspiLibrary();

// Loads the module and looks up its two entry points. Thread: any.
AspiLoadResult loadAspiLibrary(const std::string& library);

}  // namespace tonalda
