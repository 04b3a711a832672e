#pragma once
// A private PulseAudio daemon for one test executable: its own runtime folder, a null sink "t"
// as the default output (unless asked for none), anonymous access over a unix socket, and
// $PULSE_SERVER pointing at it while it lives. Works as root and without a desktop session.
// Also: pactl for reading back what the server holds, and a recorder of the sink's monitor.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace tonalda::test {

// A child process with its standard output (and error) sent to a file. It is killed when the
// thread that started it ends, so a test that crashes leaves no server behind.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& output) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const pid_t parent = getpid();
        pid_ = in >= 0 && out >= 0 ? fork() : -1;
        if (pid_ == 0) {
            // Only calls that are safe between fork and exec.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(in, STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (in >= 0)
            ::close(in);
        if (out >= 0)
            ::close(out);
        if (pid_ < 0)
            throw std::runtime_error("cannot start " + argv[0]);
    }
    ~ChildProcess() { stop(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            pid_ = -1;
        return pid_ > 0;
    }
    // Sends the signal and waits for the end (escalating to SIGKILL after two seconds).
    void stop(int signal = SIGTERM) {
        if (pid_ <= 0)
            return;
        kill(pid_, signal);
        for (int i = 0; i < 200 && running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// Runs a command to its end; its output, or nullopt when it failed.
inline std::optional<std::string> runCommand(const std::string& command) {
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string output;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    return pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

// The streams that record from the server now.
inline std::size_t recordingStreams() {
    const std::string list = runCommand("pactl list short source-outputs").value_or("");
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
}

class PulseServer {
  public:
    static constexpr const char* kSink = "t";

    explicit PulseServer(bool withSink = true) {
        std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        socket_ = dir_ / "native";
        log_ = dir_ / "daemon.log";
        std::vector<std::string> argv = {
            "env",
            "HOME=" + dir_.path().string(),
            "XDG_RUNTIME_DIR=" + dir_.path().string(),
            "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
            "XDG_STATE_HOME=" + (dir_ / "state").string(),
            "pulseaudio",
            "--daemonize=no",
            "--exit-idle-time=-1",
            "-n",
            "--use-pid-file=no",
            "--realtime=no",
            "--high-priority=no",
            "--disable-shm=yes",
            "--log-target=stderr",
            "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string(),
        };
        // Without rewinds what the sink has rendered stays rendered, so its monitor never hears a
        // stretch twice.
        if (withSink)
            argv.push_back(std::string("--load=module-null-sink norewinds=1 sink_name=") + kSink);
        daemon_.emplace(argv, log_);

        if (const char* outer = std::getenv("PULSE_SERVER"))
            outerServer_ = outer;
        setenv("PULSE_SERVER", ("unix:" + socket_.string()).c_str(), 1);
        for (int i = 0; i < 500 && !runCommand("pactl info"); ++i) {
            if (!daemon_->running())
                throw std::runtime_error("pulseaudio ended at start-up:\n" + readFile(log_));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!runCommand("pactl info"))
            throw std::runtime_error("pulseaudio did not answer:\n" + readFile(log_));
        if (withSink) {
            pactl(std::string("set-default-sink ") + kSink);
            // A null sink that no one listens to closely renders up to two seconds ahead in one
            // block, and a recorder that joins later hears the sound that long after it played.
            // A listener asking for 20 ms keeps it rendering in small steps in real time, as a
            // sound card does.
            pacer_.emplace(std::vector<std::string>{"parec", "-d", std::string(kSink) + ".monitor",
                                                    "--raw", "--latency-msec=20", "/dev/null"},
                           dir_ / "pacer.log");
            for (int i = 0; i < 500 && recordingStreams() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~PulseServer() {
        pacer_.reset();
        daemon_.reset();
        if (outerServer_)
            setenv("PULSE_SERVER", outerServer_->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // pactl's output; throws when it fails.
    std::string pactl(const std::string& arguments) const {
        const std::optional<std::string> output = runCommand("pactl " + arguments);
        if (!output)
            throw std::runtime_error("pactl " + arguments + " failed");
        return *output;
    }
    // The volume values of the sink's channels as pactl reports them (0..65536 = 100 %).
    std::vector<long> sinkVolumes() const {
        const std::string text = pactl(std::string("get-sink-volume ") + kSink);
        std::vector<long> volumes;
        // "Volume: front-left: 65536 / 100% / 0.00 dB,   front-right: ..."
        for (std::size_t at = text.find(": "); at != std::string::npos;
             at = text.find(": ", at + 2)) {
            if (std::isdigit(static_cast<unsigned char>(text[at + 2])))
                volumes.push_back(std::strtol(text.c_str() + at + 2, nullptr, 10));
        }
        return volumes;
    }
    bool sinkMuted() const {
        return pactl(std::string("get-sink-mute ") + kSink).find("yes") != std::string::npos;
    }

  private:
    TempDir dir_;
    std::filesystem::path socket_;
    std::filesystem::path log_;
    std::optional<ChildProcess> daemon_;
    std::optional<ChildProcess> pacer_;
    std::optional<std::string> outerServer_;
};

// Records the sink's monitor as 16-bit stereo at 44100 Hz from construction to stop().
class MonitorRecorder {
  public:
    explicit MonitorRecorder(const std::filesystem::path& file)
        : file_(file),
          streamsBefore_(recordingStreams()),
          process_({"parec", "-d", std::string(PulseServer::kSink) + ".monitor", "--raw",
                    "--format=s16le", "--rate=44100", "--channels=2", "--latency-msec=20",
                    file.string()},
                   file.string() + ".log") {
        // Recording has begun once the server lists one more recording stream.
        for (int i = 0; i < 500 && recordingStreams() <= streamsBefore_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Interleaved samples recorded so far; ends the recording.
    std::vector<std::int16_t> stop() {
        process_.stop(SIGINT);
        const std::string bytes = readFile(file_);
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

  private:
    std::filesystem::path file_;
    std::size_t streamsBefore_;
    ChildProcess process_;
};

}  // namespace tonalda::test
