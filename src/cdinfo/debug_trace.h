#pragma once
// Trace lines for developers. They go to standard error when TONALDA_DEBUG is set, or to a sink
// that a test installs.

#include <functional>
#include <string_view>

namespace tonalda {

using DebugTraceSink = std::function<void(std::string_view)>;

// Thread: any.
void debugTrace(std::string_view line);
// Installs a sink (an empty one restores the default) and returns the previous one.
DebugTraceSink setDebugTraceSink(DebugTraceSink sink);

}  // namespace tonalda
