// tonalda-cli: the headless front end over the program's engine and settings hive.

#include <signal.h>

#include <csignal>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_session.h"
#include "platform/cancel_flag.h"

namespace {

// Ctrl-C is the Cancel button: the running job stops at its next block and removes its partial
// files. A second Ctrl-C ends the program at once.
extern "C" void cancelOnInterrupt(int) {
    tonalda::cancelFlag().store(1);
}

void cancelJobsOnInterrupt() {
    tonalda::cancelFlag();  // made before the handler can touch it
    struct sigaction action {};
    action.sa_handler = cancelOnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the next Ctrl-C gets the default: the program ends
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tonalda::cli;
    Console console = Console::standard();
    const ParseResult parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        console.err("tonalda-cli: " + parsed.error);
        console.err("Try 'tonalda-cli --help'.");
        return 2;
    }
    if (parsed.options->command == Command::Help) {
        console.outText(usageText());
        return 0;
    }
    // A server closing its end while we write must give an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    cancelJobsOnInterrupt();
    loadSettingsGroups(console);
    return runCommand(*parsed.options, console);
}
