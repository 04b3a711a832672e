#include "cdinfo/cddb_client.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>

#include "cdinfo/cddb_commands.h"

namespace tonalda::cddb {
namespace {

constexpr std::size_t kHostLimit = 255;
constexpr std::size_t kClientLimit = 60;
constexpr std::size_t kEmailLimit = 64;
constexpr std::size_t kScriptLimit = 80;
constexpr std::size_t kReceiveChunk = 128;

std::string cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

CddbConfig initialConfig() {
    CddbConfig config;
    config.clientName = escapeHello("cordane32dll 1.0");
    config.email = escapeHello(kInitialEmail);
    return config;
}

struct ConfigStore {
    std::mutex mutex;
    CddbConfig config = initialConfig();
    CddbTimeouts timeouts;
};

ConfigStore& store() {
    static ConfigStore instance;
    return instance;
}

// A socket closed when it goes out of scope.
class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// How long a wait goes before it looks at the cancel again.
constexpr int kCancelSliceMs = 100;

// The time limits of one request: each wait ends after its own time-out or at the request's
// deadline, whichever comes first.
struct RequestClock {
    CddbTimeouts timeouts;
    Clock::time_point deadline = Clock::now() + timeouts.request;

    Clock::time_point until(std::chrono::milliseconds timeout) const {
        return std::min(Clock::now() + timeout, deadline);
    }
};

// Waits until fd is ready for events or `until` has passed; false on time-out, error or cancel.
bool waitFor(int fd, short events, Clock::time_point until, const CancelToken& cancel) {
    for (;;) {
        if (cancel.stopRequested())
            return false;
        pollfd entry{fd, events, 0};
        const int left = remainingMs(until);
        const int ready = ::poll(&entry, 1, std::min(left, kCancelSliceMs));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0 && left <= kCancelSliceMs)
            return false;
    }
}

// Connects to the first address of host:port that accepts within the connect time-out. The
// socket is non-blocking; reads and writes wait with poll.
std::optional<int> connectTo(const std::string& host, int port, const RequestClock& clock,
                             const CancelToken& cancel) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
        const int fd =
            ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                     address->ai_protocol);
        if (fd < 0)
            continue;
        Socket guard(fd);
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
            if (errno != EINPROGRESS ||
                !waitFor(fd, POLLOUT, clock.until(clock.timeouts.connect), cancel))
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
                continue;
        }
        return guard.release();
    }
    return std::nullopt;
}

bool sendAll(int fd, std::string_view data, const RequestClock& clock, const CancelToken& cancel) {
    while (!data.empty()) {
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, clock.until(clock.timeouts.idle), cancel))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads the reply in chunks of at most 128 bytes while at least 128 bytes of room remain in a
// buffer of bufferSize bytes whose last byte is kept for the terminating NUL. nullopt when the
// request's deadline came first.
std::optional<std::string> receiveReply(int fd, std::size_t bufferSize, const RequestClock& clock,
                                        const CancelToken& cancel) {
    std::string reply;
    if (bufferSize == 0)
        return reply;
    const std::size_t usable = bufferSize - 1;
    std::array<char, kReceiveChunk> chunk{};
    while (usable - reply.size() >= kReceiveChunk) {
        const Clock::time_point until = clock.until(clock.timeouts.idle);
        if (!waitFor(fd, POLLIN, until, cancel)) {
            if (until == clock.deadline)
                return std::nullopt;
            break;
        }
        const ssize_t received = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (received < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (received <= 0)
            break;
        reply.append(chunk.data(), static_cast<std::size_t>(received));
    }
    // Callers read the reply as text, which ends at the first NUL.
    if (const auto nul = reply.find('\0'); nul != std::string::npos)
        reply.resize(nul);
    return reply;
}

std::string exchange(const std::string& host, int port, const std::string& request,
                     std::size_t bufferSize, const CancelToken& cancel) {
    const RequestClock clock{cddbTimeouts()};
    const auto fd = connectTo(host, port, clock, cancel);
    if (!fd)
        return {};
    Socket socket(*fd);
    if (!sendAll(socket.fd(), request, clock, cancel))
        return {};
    const std::optional<std::string> reply = receiveReply(socket.fd(), bufferSize, clock, cancel);
    // A reply cut short by a cancel or by the deadline is no reply: what arrived could read as a
    // complete one.
    if (!reply || cancel.stopRequested())
        return {};
    return *reply;
}

void appendProxyAuthorization(std::string& request, const CddbConfig& config) {
    if (config.proxyAuthorization)
        request += "Proxy-Authorization: Basic " + *config.proxyAuthorization + "\r\n";
}

}  // namespace

std::string escapeHello(std::string_view text) {
    std::string escaped(text);
    for (std::size_t i = 1; i < escaped.size(); ++i)
        if (escaped[i] == ' ' || escaped[i] == '@')
            escaped[i] = '+';
    return escaped;
}

void setCddbOption(int code, std::optional<std::string_view> text, int number) {
    if (code == kOptProtocolLevel) {
        // Verifying a higher level talks to the server, so it runs outside the lock.
        if (number <= 0)
            return;
        if (number > cddbConfig().highestVerifiedLevel && !cddbListCategories(number))
            return;
        std::lock_guard lock(store().mutex);
        store().config.protocolLevel = number;
        return;
    }
    std::lock_guard lock(store().mutex);
    applyCddbOption(store().config, code, text, number);
}

void applyCddbOption(CddbConfig& config, int code, std::optional<std::string_view> text,
                     int number) {
    switch (code) {
        case kOptServerHost:
            if (text)
                config.serverHost = cut(*text, kHostLimit);
            break;
        case kOptProxyHost:
            if (text)
                config.proxyHost = cut(*text, kHostLimit);
            break;
        case kOptUseProxy:
            config.useProxy = number != 0;
            break;
        case kOptClientName:
            if (text)
                config.clientName = escapeHello(cut(*text, kClientLimit));
            break;
        case kOptEmail:
            if (text)
                config.email = escapeHello(cut(*text, kEmailLimit));
            break;
        case kOptProxyPort:
            config.proxyPort = number;
            break;
        case kOptQueryScript:
            if (text)
                config.queryScript = cut(*text, kScriptLimit);
            break;
        case kOptServerPort:
            config.serverPort = number;
            break;
        case kOptMirrorIni:
            config.mirrorIni = number != 0;
            break;
        case kOptUsePost:
            config.usePost = number != 0;
            break;
        case kOptSubmitScript:
            if (text)
                config.submitScript = cut(*text, kScriptLimit);
            break;
        case kOptProxyAuth:
            if (text)
                config.proxyAuthorization = base64Encode(*text);  // whole: a cut one is invalid
            else
                config.proxyAuthorization.reset();
            break;
        default:
            break;
    }
}

int getCddbOption(int code, bool* isNumeric) {
    const CddbConfig config = cddbConfig();
    std::optional<int> value;
    switch (code) {
        case kOptUseProxy:
            value = config.useProxy ? 1 : 0;
            break;
        case kOptProxyPort:
            value = config.proxyPort;
            break;
        case kOptServerPort:
            value = config.serverPort;
            break;
        case kOptMirrorIni:
            value = config.mirrorIni ? 1 : 0;
            break;
        case kOptUsePost:
            value = config.usePost ? 1 : 0;
            break;
        case kOptProtocolLevel:
            value = config.protocolLevel;
            break;
        default:
            break;
    }
    if (isNumeric)
        *isNumeric = value.has_value();
    return value.value_or(0);
}

CddbConfig cddbConfig() {
    std::lock_guard lock(store().mutex);
    return store().config;
}

void publishCddbConfig(const CddbConfig& config) {
    std::lock_guard lock(store().mutex);
    const int verified = std::max(store().config.highestVerifiedLevel, config.highestVerifiedLevel);
    store().config = config;
    store().config.highestVerifiedLevel = verified;
}

void resetCddbConfig() {
    std::lock_guard lock(store().mutex);
    store().config = initialConfig();
}

void setHighestVerifiedLevel(int level) {
    std::lock_guard lock(store().mutex);
    store().config.highestVerifiedLevel = level;
}

void setCddbTimeouts(CddbTimeouts timeouts) {
    std::lock_guard lock(store().mutex);
    store().timeouts = timeouts;
}

CddbTimeouts cddbTimeouts() {
    std::lock_guard lock(store().mutex);
    return store().timeouts;
}

std::string buildPostRequest(const CddbConfig& config, std::string_view scriptPath,
                             std::string_view body, std::optional<std::string_view> extraHeaders) {
    const std::string extra = std::string(extraHeaders.value_or(""));
    std::string request;
    if (config.useProxy) {
        request = "POST http://" + config.serverHost + std::string(scriptPath) +
                  " HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "User-Agent: Cordane090\r\n" +
                  extra;
        appendProxyAuthorization(request, config);
    } else if (!config.usePost) {
        // The simple request form: no version and no header lines.
        return "GET " + std::string(scriptPath) + "?" + std::string(body) + "\r\n";
    } else {
        request = "POST " + std::string(scriptPath) +
                  " HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "User-Agent: Cordane090\r\n" +
                  extra;
    }
    request += "Content-Length: " + std::to_string(body.size() + 2) + "\r\n\r\n";
    request += body;
    request += "\r\n";
    return request;
}

std::string buildGetRequest(const CddbConfig& config, std::string_view scriptPath,
                            std::string_view query, std::optional<std::string_view> extraHeaders) {
    const std::string target = std::string(scriptPath) + "?" + std::string(query);
    std::string request =
        config.useProxy ? "GET http://" + config.serverHost + target : "GET " + target;
    request += " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Cordane090\r\n";
    request += std::string(extraHeaders.value_or(""));
    if (config.useProxy)
        appendProxyAuthorization(request, config);
    request += "\r\n";
    return request;
}

namespace {

std::string send(const CddbConfig& config, const std::string& request, std::size_t bufferSize,
                 const CancelToken& cancel) {
    return config.useProxy
               ? exchange(config.proxyHost, config.proxyPort, request, bufferSize, cancel)
               : exchange(config.serverHost, config.serverPort, request, bufferSize, cancel);
}

}  // namespace

std::string cddbPost(const CddbConfig& config, std::string_view scriptPath, std::string_view body,
                     std::optional<std::string_view> extraHeaders, std::size_t bufferSize,
                     const CancelToken& cancel) {
    return send(config, buildPostRequest(config, scriptPath, body, extraHeaders), bufferSize,
                cancel);
}

std::string cddbGet(const CddbConfig& config, std::string_view scriptPath, std::string_view query,
                    std::optional<std::string_view> extraHeaders, std::size_t bufferSize,
                    const CancelToken& cancel) {
    return send(config, buildGetRequest(config, scriptPath, query, extraHeaders), bufferSize,
                cancel);
}

std::string cddbPost(std::string_view scriptPath, std::string_view body,
                     std::optional<std::string_view> extraHeaders, std::size_t bufferSize) {
    return cddbPost(cddbConfig(), scriptPath, body, extraHeaders, bufferSize);
}

std::string cddbGet(std::string_view scriptPath, std::string_view query,
                    std::optional<std::string_view> extraHeaders, std::size_t bufferSize) {
    return cddbGet(cddbConfig(), scriptPath, query, extraHeaders, bufferSize);
}

std::string_view skipHttpHeaders(std::string_view reply) {
    if (!reply.starts_with("HTTP"))
        return reply;
    const auto end = reply.find("\r\n\r\n");
    return end == std::string_view::npos ? reply : reply.substr(end + 4);
}

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < count ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            encoded += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return encoded;
}

}  // namespace tonalda::cddb
