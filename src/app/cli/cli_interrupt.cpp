#include "app/cli/cli_interrupt.h"

#include <signal.h>

#include <atomic>

namespace tonalda::cli {
namespace {

std::atomic<bool> interruptSeen{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void cancelOnInterrupt(int) {
    interruptSeen.store(true);
}

}  // namespace

void cancelJobsOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = cancelOnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the next Ctrl-C gets the default: the program ends
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted() {
    return interruptSeen.load();
}

}  // namespace tonalda::cli
