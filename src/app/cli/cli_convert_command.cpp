// convert: WAV files through the convert list and the convert job into the encode folder.

#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_job_view.h"
#include "convert/convert_job.h"
#include "convert/convert_list.h"
#include "platform/registry.h"

namespace tonalda::cli {

int convertFiles(const CliOptions& options, Console& console) {
    ConsolePrompter prompter(console);
    ConvertList list;
    // Files listed twice or unreadable are told and left out, as the convert view does.
    const int added = list.addFiles(options.files, prompter);
    if (added == 0)
        return 1;
    ConvertOptions convert = currentConvertOptions();
    if (options.outFolder)
        convert.encodeFolder = std::filesystem::absolute(*options.outFolder);
    if (options.jobs)
        convert.workers = *options.jobs;

    if (interrupted())
        return 1;  // Ctrl-C before anything started
    JobEventQueue events;
    ConvertJob job(Registry::instance(), prompter, events);
    if (!job.start(list, static_cast<OutputFormat>(*options.format), convert))
        return 1;
    // Files of one name from different folders are written under distinct names.
    for (const ConvertEntry& entry : job.entries())
        if (entry.output != convertOutputPath(convert.encodeFolder, entry.source,
                                              static_cast<OutputFormat>(*options.format)))
            console.err(entry.source + " is written as " + entry.output.string() +
                        ": an earlier file of this conversion has its name.");
    ConsoleJobView view(console, [&](int row) {
        return row >= 0 && row < list.rowCount() ? list.row(row).path : std::string("File");
    });
    followJob(job, events, view);
    std::string summary;
    for (const ConvertEntry& entry : job.entries())
        summary += entry.source + ": " + std::string(statusText(entry.status)) + "\n";
    console.outText(summary);
    const bool everyFileListed = added == static_cast<int>(options.files.size());
    return job.succeeded() && everyFileListed ? 0 : 1;
}

}  // namespace tonalda::cli
