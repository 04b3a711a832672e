#include "cdinfo/debug_trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

namespace tonalda {
namespace {

std::mutex& traceMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugTraceSink& installedSink() {
    static DebugTraceSink sink;
    return sink;
}

}  // namespace

void debugTrace(std::string_view line) {
    std::lock_guard lock(traceMutex());
    if (installedSink()) {
        installedSink()(line);
    } else if (std::getenv("TONALDA_DEBUG") != nullptr) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
}

DebugTraceSink setDebugTraceSink(DebugTraceSink sink) {
    std::lock_guard lock(traceMutex());
    return std::exchange(installedSink(), std::move(sink));
}

}  // namespace tonalda
