// The commands that look at the disc: drives, toc, lookup and the local library.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_job_view.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_session.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "cdinfo/misc_settings.h"
#include "platform/profile.h"

namespace tonalda::cli {
namespace {

constexpr std::string_view kLookupCanceled = "The lookup was canceled.";
constexpr std::string_view kSubmitCanceled = "The submission was canceled.";

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
    if (interrupted() || !lookup.start(freeDbSettings()))
        return 1;
    finishJob(lookup, session.events(), [](const JobNotice&) {});
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
        case cddb::LookupOutcome::Canceled:
            console.err(kLookupCanceled);
            return 1;
        case cddb::LookupOutcome::NoMatches:
        case cddb::LookupOutcome::ReadFailed:
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

int submitDisc(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    DiscSession& disc = session.disc();
    // The disc as the library holds it (the start-up read it already when "AutoRead" is set).
    if (miscSettings().autoRead == 0)
        disc.readLibrary(false);
    // Every command is a run of its own: the server port is the one a lookup would have left.
    cddb::setCddbOption(cddb::kOptServerPort, std::nullopt, freeDbSettings().Port);

    cddb::CddbSubmitJob& submit = disc.submit();
    if (interrupted())
        return 1;
    // "dblog.txt" goes into the current folder, as the rip view's does; a refusal is told by the
    // job and starts nothing.
    if (!submit.start(freeDbSettings(), std::filesystem::current_path(),
                      options.test ? cddb::SubmitMode::Test : cddb::SubmitMode::Submit))
        return 1;
    bool canceled = false;
    finishJob(submit, session.events(), [&](const JobNotice& notice) {
        canceled = canceled || notice.event == JobEvent(JobFinished{JobOutcome::Canceled});
    });
    if (canceled)
        console.err(kSubmitCanceled);
    return submit.submitted() ? 0 : 1;
}

int runLibraryOperation(const CliOptions& options, Console& console) {
    DriveSession session(console);
    if (!session.open())
        return 1;
    DiscSession& disc = session.disc();
    const std::filesystem::path library = disc.libraryFolder();
    const auto file = libraryFilePath(library, disc.readPlayerKey());
    switch (options.library) {
        case LibraryOperation::Read: {
            std::string notCreated;
            if (!readLocalLibrary(disc, library, &notCreated)) {
                console.err(notCreated.empty()
                                ? "The disc is not in the local CD library yet; its file was "
                                  "created: " +
                                      file.string()
                                : "The disc is not in the local CD library, and its file could "
                                  "not be created: " +
                                      file.string() + ": " + notCreated);
                return 1;
            }
            printDisc(console, disc, false);
            return 0;
        }
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
