#pragma once
// Ctrl-C as the Cancel button of the running job: the job stops at its next block and removes its
// partial files. A second Ctrl-C ends the program at once.

namespace tonalda::cli {

// Installs the SIGINT handler. Thread: the main thread, before any job starts.
void cancelJobsOnInterrupt();

// Whether Ctrl-C was pressed. A job's start clears the cancel flag, so a job started after an
// early Ctrl-C is cancelled by its starter when this is set. Thread: any.
bool interrupted();

}  // namespace tonalda::cli
