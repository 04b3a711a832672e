#include "app/cli/cli_commands.h"

#include "cdaccess/cdrom_settings.h"

namespace tonalda::cli {

int runCommand(const CliOptions& options, Console& console) {
    // Overrides for this run: the records change, the hive does not.
    if (options.unit)
        cdRomSettings().unit = *options.unit;
    switch (options.command) {
        case Command::Help:
            return 0;
        case Command::Drives:
            return listDrives(console);
        case Command::Toc:
            return showToc(options, console);
        case Command::Lookup:
            return lookUpDisc(options, console);
        case Command::Library:
            return runLibraryOperation(options, console);
        case Command::Submit:
            return submitDisc(options, console);
        case Command::Rip:
            return ripDisc(options, console);
        case Command::Convert:
            return convertFiles(options, console);
    }
    return 2;
}

}  // namespace tonalda::cli
