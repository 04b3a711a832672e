#pragma once
// The commands of tonalda-cli. Each returns the program's exit status: 0 when everything ended
// well, 1 when something failed or was canceled.

#include "app/cli/cli_options.h"

namespace tonalda::cli {

class Console;

// Thread: the main thread.
int runCommand(const CliOptions& options, Console& console);

int listDrives(Console& console);
int showToc(const CliOptions& options, Console& console);
int lookUpDisc(const CliOptions& options, Console& console);
int submitDisc(const CliOptions& options, Console& console);
int runLibraryOperation(const CliOptions& options, Console& console);
int ripDisc(const CliOptions& options, Console& console);
int convertFiles(const CliOptions& options, Console& console);

}  // namespace tonalda::cli
