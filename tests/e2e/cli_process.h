#pragma once
// Runs the built tonalda-cli (or another program of the build) as a real process with an
// environment of the test's own, capturing its standard output and error. A running process can
// be watched line by line and interrupted like a user pressing Ctrl-C.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tonalda::e2e {

struct ProcessResult {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

using Environment = std::map<std::string, std::string>;

class CliProcess {
  public:
    // Starts program with the arguments and this process's environment plus the overrides, in
    // `folder` (this process's current folder when empty).
    CliProcess(const std::string& program, const std::vector<std::string>& arguments,
               const Environment& overrides, const std::string& folder = {});
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads standard output until a line containing text has arrived; false when the output ends
    // or the time runs out first.
    bool waitForLine(const std::string& text, std::chrono::seconds timeout);
    void interrupt();
    // Reads everything up to the end and waits for the exit.
    ProcessResult finish();

  private:
    // Reads what is there within the time; false when both outputs are closed.
    bool pump(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::size_t scanned_ = 0;
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const Environment& overrides, const std::string& folder = {});

}  // namespace tonalda::e2e
