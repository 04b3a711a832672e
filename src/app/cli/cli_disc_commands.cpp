// The commands that look at the disc: drives, toc, lookup and the local library.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_session.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/disc_info.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "platform/profile.h"

namespace tonalda::cli {
namespace {

DiscReport discReport(HeadlessDiscView& view) {
    const DiscInfo info = discInfo().snapshot();
    const auto toc = view.lastToc();
    return {toc ? computeDiscIdentityFromToc(*toc).discId : 0, info.artist, info.album,
            info.genreIndex, view.titles()};
}

void printDisc(Console& console, HeadlessDiscView& view, bool json) {
    const DiscReport report = discReport(view);
    if (json) {
        console.out(discJson(report));
    } else {
        console.outText(discText(report));
    }
}

}  // namespace

int listDrives(Console& console) {
    DriveSession session(console);
    if (!session.findDrives())
        return 1;
    console.outText(drivesText(session.drives()));
    return 0;
}

int showToc(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    const TocReport report = tocReport(session.trackList());
    if (options.json) {
        console.out(tocJson(report));
    } else {
        console.outText("Drive " + std::to_string(cdRomSettings().unit) + ": " +
                        trimmed(driveDescription(session.drives(), cdRomSettings().unit)) + "\n" +
                        tocText(report));
    }
    return 0;
}

int lookUpDisc(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    ConsolePrompter prompter(console);
    auto view = session.discView(prompter);
    const std::filesystem::path library = session.libraryFolder();
    // A save needs the disc's library file; reading the library creates it when it is missing.
    if (options.save && !std::filesystem::exists(libraryFilePath(library, view->readPlayerKey())))
        readLocalLibrary(*view, library);

    const cddb::LookupOutcome outcome = cddb::runCddbLookup(*view, freeDbSettings());
    switch (outcome) {
        case cddb::LookupOutcome::Success:
            break;
        case cddb::LookupOutcome::NoDiscIdentity:
            console.err("The disc's table of contents could not be read for the lookup.");
            return 1;
        case cddb::LookupOutcome::EntryUnparsed:
            console.err("The server's entry for the disc could not be read.");
            return 1;
        case cddb::LookupOutcome::NoMatches:
        case cddb::LookupOutcome::ReadFailed:
            // The job has told the user already.
            return 1;
    }
    printDisc(console, *view, options.json);
    if (options.save) {
        const auto file = libraryFilePath(library, view->readPlayerKey());
        if (!saveLocalLibrary(*view, library)) {
            console.err("Could not save the disc into the local CD library: " + file.string());
            return 1;
        }
        console.err("Saved to the local CD library: " + file.string());
    }
    return 0;
}

int runLibraryOperation(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    ConsolePrompter prompter(console);
    auto view = session.discView(prompter);
    const std::filesystem::path library = session.libraryFolder();
    const auto file = libraryFilePath(library, view->readPlayerKey());
    switch (options.library) {
        case LibraryOperation::Read:
            if (!readLocalLibrary(*view, library)) {
                console.err("The disc is not in the local CD library yet; its file was created: " +
                            file.string());
                return 1;
            }
            printDisc(console, *view, false);
            return 0;
        case LibraryOperation::Save:
            if (!saveLocalLibrary(*view, library)) {
                console.err(
                    "The disc has no file in the local CD library to save into (a read "
                    "creates it): " +
                    file.string());
                return 1;
            }
            console.out("Saved " + file.string());
            return 0;
        case LibraryOperation::IniRead:
            readCdPlayerIni(*view);
            printDisc(console, *view, false);
            return 0;
        case LibraryOperation::IniWrite: {
            const auto ini = profile::configFolder() / kCdPlayerIni;
            if (!writeCdPlayerIni(*view)) {
                console.err("Could not write " + ini.string());
                return 1;
            }
            console.out("Wrote " + ini.string());
            return 0;
        }
    }
    return 1;
}

}  // namespace tonalda::cli
