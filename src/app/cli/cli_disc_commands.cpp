// The commands that look at the disc: drives, toc, lookup and the local library.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_session.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "platform/profile.h"

namespace tonalda::cli {
namespace {

DiscReport discReport(DiscSession& disc) {
    const DiscInfo info = disc.discInfo().snapshot();
    const auto toc = disc.lastToc();
    std::vector<std::string> titles;
    for (int row = 0; row < disc.rowCount(); ++row)
        titles.push_back(disc.trackTitle(row));
    return {toc ? computeDiscIdentityFromToc(*toc).discId : 0, info.artist, info.album,
            info.genreIndex, titles};
}

void printDisc(Console& console, DiscSession& disc, bool json) {
    const DiscReport report = discReport(disc);
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
    console.outText(drivesText(session.disc().drives()));
    return 0;
}

int showToc(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    const TocReport report = tocReport(session.disc());
    if (options.json) {
        console.out(tocJson(report));
    } else {
        console.outText("Drive " + std::to_string(cdRomSettings().unit) + ": " +
                        trimmed(driveDescription(session.disc().drives(), cdRomSettings().unit)) +
                        "\n" + tocText(report));
    }
    return 0;
}

int lookUpDisc(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    DiscSession& disc = session.disc();
    const std::filesystem::path library = disc.libraryFolder();
    // A save needs the disc's library file; reading the library creates it when it is missing.
    if (options.save && !std::filesystem::exists(libraryFilePath(library, disc.readPlayerKey())))
        readLocalLibrary(disc, library);

    cddb::CddbLookupJob& lookup = disc.lookup();
    if (!lookup.start(freeDbSettings()))
        return 1;
    deliverUntilFinished(session.events(), lookup.id(), [](const JobNotice&) {});
    const cddb::LookupOutcome outcome = lookup.outcome();
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
        case cddb::LookupOutcome::Canceled:
            // The job has told the user already.
            return 1;
    }
    printDisc(console, disc, options.json);
    if (options.save) {
        const auto file = libraryFilePath(library, disc.readPlayerKey());
        if (!saveLocalLibrary(disc, library)) {
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
    DiscSession& disc = session.disc();
    const std::filesystem::path library = disc.libraryFolder();
    const auto file = libraryFilePath(library, disc.readPlayerKey());
    switch (options.library) {
        case LibraryOperation::Read:
            if (!readLocalLibrary(disc, library)) {
                console.err("The disc is not in the local CD library yet; its file was created: " +
                            file.string());
                return 1;
            }
            printDisc(console, disc, false);
            return 0;
        case LibraryOperation::Save:
            if (!saveLocalLibrary(disc, library)) {
                console.err(
                    "The disc has no file in the local CD library to save into (a read "
                    "creates it): " +
                    file.string());
                return 1;
            }
            console.out("Saved " + file.string());
            return 0;
        case LibraryOperation::IniRead:
            readCdPlayerIni(disc);
            printDisc(console, disc, false);
            return 0;
        case LibraryOperation::IniWrite: {
            const auto ini = profile::configFolder() / kCdPlayerIni;
            if (!writeCdPlayerIni(disc)) {
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
