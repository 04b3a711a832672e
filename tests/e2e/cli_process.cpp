#include "e2e/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace tonalda::e2e {

CliProcess::CliProcess(const std::string& program, const std::vector<std::string>& arguments,
                       const Environment& overrides, const std::string& folder) {
    Environment environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const auto eq = text.find('=');
        if (eq != std::string::npos)
            environment[text.substr(0, eq)] = text.substr(eq + 1);
    }
    for (const auto& [name, value] : overrides)
        environment[name] = value;
    std::vector<std::string> envText;
    for (const auto& [name, value] : environment)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : argText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make pipes for " + program);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const int error =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0)
        close(outFd_);
    if (errFd_ >= 0)
        close(errFd_);
}

bool CliProcess::pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0)
        return false;
    if (poll(fds, 2, static_cast<int>(timeout.count())) <= 0)
        return true;
    const auto drain = [](int& fd, short events, std::string& into) {
        if (fd < 0 || (events & (POLLIN | POLLHUP | POLLERR)) == 0)
            return;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else {
            close(fd);
            fd = -1;
        }
    };
    drain(outFd_, fds[0].revents, out_);
    drain(errFd_, fds[1].revents, err_);
    return outFd_ >= 0 || errFd_ >= 0;
}

bool CliProcess::waitForLine(const std::string& text, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        // Only whole lines count.
        const auto end = out_.rfind('\n');
        if (end != std::string::npos && end >= scanned_) {
            const auto found = out_.substr(0, end).find(text, scanned_);
            if (found != std::string::npos) {
                scanned_ = out_.find('\n', found) + 1;
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline || !pump(std::chrono::milliseconds(50)))
            return false;
    }
}

void CliProcess::interrupt() {
    if (pid_ > 0)
        kill(pid_, SIGINT);
}

ProcessResult CliProcess::finish() {
    while (pump(std::chrono::milliseconds(1000))) {
    }
    ProcessResult result{-1, out_, err_};
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    pid_ = -1;
    return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const Environment& overrides, const std::string& folder) {
    CliProcess process(program, arguments, overrides, folder);
    return process.finish();
}

}  // namespace tonalda::e2e
