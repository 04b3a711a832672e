// tonalda-cli: the headless front end over the program's engine and settings hive.

#include <csignal>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_session.h"

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
    // A file size limit (ulimit -f) must fail the write, which the job reports, not kill the
    // program and leave a cut file behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C cancels the jobs; the other commands end at once, as by default.
    const Command command = parsed.options->command;
    if (command == Command::Rip || command == Command::Convert || command == Command::Lookup ||
        command == Command::Submit)
        cancelJobsOnInterrupt();
    loadSettingsGroups(console);
    return runCommand(*parsed.options, console);
}
