#pragma once
// Ctrl-C as the Cancel button of the running job: the main thread, which follows the job, sees it
// within 50 ms and stops the job, which removes its partial files. A second Ctrl-C ends the
// program at once.

namespace tonalda::cli {

// Installs the SIGINT handler. Thread: the main thread, before any job starts.
void cancelJobsOnInterrupt();

// Whether Ctrl-C was pressed. Thread: any.
bool interrupted();

}  // namespace tonalda::cli
