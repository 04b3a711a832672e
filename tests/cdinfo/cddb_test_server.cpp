#include "cdinfo/cddb_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/text_codec.h"

namespace tonalda::testing {
namespace {

constexpr int kClientReadTimeoutMs = 3000;

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test data " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool sendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one request: the header block and Content-Length bytes of body, or one line for a
// request without an HTTP version.
HttpRequest readRequest(int fd) {
    HttpRequest request;
    std::size_t wanted = std::string::npos;
    char buffer[4096];
    for (;;) {
        if (wanted == std::string::npos) {
            const auto lineEnd = request.raw.find("\r\n");
            if (lineEnd != std::string::npos &&
                request.raw.substr(0, lineEnd).find(" HTTP/") == std::string::npos)
                wanted = lineEnd + 2;
            const auto headerEnd = request.raw.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::size_t length = 0;
                std::istringstream lines(request.raw.substr(0, headerEnd));
                std::string line;
                while (std::getline(lines, line))
                    if (lower(line).starts_with("content-length:"))
                        length = std::stoul(line.substr(15));
                wanted = headerEnd + 4 + length;
            }
        }
        if (wanted != std::string::npos && request.raw.size() >= wanted)
            break;
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kClientReadTimeoutMs) <= 0)
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.raw.append(buffer, static_cast<std::size_t>(n));
    }
    std::istringstream in(request.raw);
    std::string line;
    std::getline(in, line);
    std::istringstream requestLine(line);
    requestLine >> request.method >> request.target;
    const auto headerEnd = request.raw.find("\r\n\r\n");
    if (headerEnd != std::string::npos) {
        while (std::getline(in, line) && line != "\r") {
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::string value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' '))
                value.erase(0, 1);
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            request.headers[line.substr(0, colon)] = value;
        }
        request.body = request.raw.substr(headerEnd + 4);
    }
    return request;
}

}  // namespace

std::string HttpRequest::command() const {
    std::string form = body;
    if (method == "GET") {
        const auto question = target.find('?');
        form = question == std::string::npos ? "" : target.substr(question + 1);
    }
    while (!form.empty() && (form.back() == '\n' || form.back() == '\r'))
        form.pop_back();
    const auto start = form.find("cmd=");
    if (start == std::string::npos)
        return {};
    std::string command = form.substr(start + 4, form.find('&', start) - start - 4);
    for (char& c : command)
        if (c == '+')
            c = ' ';
    return command;
}

int HttpRequest::protocolLevel() const {
    const std::string form = method == "GET" ? target : body;
    const auto at = form.find("&proto=");
    return at == std::string::npos ? 0 : std::atoi(form.c_str() + at + 7);
}

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (lower(key) == lower(name))
            return value;
    return {};
}

CddbTestServer::CddbTestServer(Responder responder) : responder_(std::move(responder)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd_, 16) != 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot start the CDDB test server");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

CddbTestServer::~CddbTestServer() {
    const char stop = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::vector<HttpRequest> CddbTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void CddbTestServer::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

void CddbTestServer::run() {
    for (;;) {
        pollfd entries[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR)
            return;
        if (entries[1].revents != 0)
            return;
        if (entries[0].revents & POLLIN) {
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                serve(client);
                ::close(client);
            }
        }
    }
}

void CddbTestServer::serve(int client) {
    HttpRequest request = readRequest(client);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    if (mode_ == Mode::NeverAnswer) {
        // Hold the connection open without a word until the client gives up or the server stops.
        for (;;) {
            pollfd waits[2] = {{client, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0 && errno != EINTR)
                return;
            if (waits[1].revents != 0)
                return;
            char discarded[256];
            if (waits[0].revents != 0 && ::recv(client, discarded, sizeof discarded, 0) <= 0)
                return;
        }
    }
    const std::string reply = responder_(request);
    std::chrono::milliseconds perByte{0};
    {
        std::lock_guard lock(mutex_);
        std::istringstream words(request.command());
        std::string cddb, verb;
        words >> cddb >> verb;
        if (dripVerb_.empty() || dripVerb_ == verb)
            perByte = dripPerByte_;
    }
    if (perByte.count() > 0)
        drip(client, reply, perByte);
    else
        sendAll(client, reply);
}

void CddbTestServer::dripReplies(std::chrono::milliseconds perByte, const std::string& verb) {
    std::lock_guard lock(mutex_);
    dripPerByte_ = perByte;
    dripVerb_ = verb;
}

void CddbTestServer::drip(int client, const std::string& reply, std::chrono::milliseconds perByte) {
    for (const char byte : reply) {
        if (!sendAll(client, std::string(1, byte)))
            return;  // the client gave up
        pollfd stop{stopPipe_[0], POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(perByte.count())) != 0)
            return;
    }
}

CddbFixtures::CddbFixtures() {
    for (const auto& [id, file] : std::map<std::string, std::string>{
             {"d50dd30f", "replies/query-211-d50dd30f.txt"},
             {"820e770a", "replies/query-200-jazz-820e770a.txt"},
             {"2f0d8939", "replies/http-query-200-misc-2f0d8939.txt"},
             {"c711930d", "replies/http-query-210-c711930d.txt"}}) {
        std::string body = crlf(testdata(file));
        if (!body.ends_with("\r\n"))
            body += "\r\n";
        queries_[id] = body;
    }
    for (const auto& file : std::filesystem::directory_iterator(testdata("entries"))) {
        const std::string name = file.path().stem().string();
        entries_[name.substr(name.find('-') + 1)] = readFile(file.path());
    }
    lscat_ = crlf(testdata("replies/lscat-210.txt"));
}

std::string CddbFixtures::testdata(const std::string& relative) {
    const std::filesystem::path path =
        std::filesystem::path(TONALDA_SOURCE_DIR) / "tests/cdinfo/data/cddb" / relative;
    return std::filesystem::is_directory(path) ? path.string() : readFile(path);
}

std::string CddbFixtures::crlf(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string CddbFixtures::httpReply(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n"
           "Connection: close\r\n\r\n" +
           body;
}

void CddbFixtures::setQueryReply(const std::string& discId, const std::string& body) {
    queries_[discId] = body;
}

void CddbFixtures::setEntry(const std::string& discId, const std::string& entry) {
    entries_[discId] = entry;
}

namespace {

// What a server sends below level 6: ISO-8859-1 for text it holds as UTF-8.
std::string atLevel(const std::string& body, int level) {
    if (level >= 6 || !text::isValidUtf8(body))
        return body;
    return text::utf8ToLatin1(body);
}

}  // namespace

std::string CddbFixtures::operator()(const HttpRequest& request) const {
    if (request.target.find("submit.cgi") != std::string::npos) {
        if (!submitOverride_.empty())
            return httpReply(submitOverride_);
        const bool complete =
            !request.header("Category").empty() && !request.header("Discid").empty() &&
            !request.header("User-Email").empty() && !request.header("Submit-Mode").empty();
        return httpReply(crlf(testdata(complete ? "replies/submit-200-from-submit.cgi.txt"
                                                : "replies/submit-500-from-submit.cgi.txt")));
    }
    const int level = request.protocolLevel();
    if (level > highestLevel_)
        return httpReply("501 Illegal protocol level.\r\n");
    std::istringstream words(request.command());
    std::string cddb, verb;
    words >> cddb >> verb;
    if (verb == "lscat")
        return httpReply(lscat_);
    if (verb == "query") {
        std::string id;
        words >> id;
        const auto found = queries_.find(id);
        return httpReply(found != queries_.end() ? atLevel(found->second, level)
                                                 : "202 No match for disc ID " + id + ".\r\n");
    }
    if (verb == "read") {
        std::string category, id;
        words >> category >> id;
        const auto found = entries_.find(id);
        if (found == entries_.end())
            return httpReply("401 " + category + " " + id + " No such CD entry in database.\r\n");
        std::string entry = found->second;
        if (!entry.ends_with("\n"))
            entry += "\r\n";
        return httpReply("210 " + category + " " + id +
                         " CD database entry follows (until terminating `.')\r\n" +
                         atLevel(entry, level) + ".\r\n");
    }
    return httpReply("500 Unrecognized command.\r\n");
}

}  // namespace tonalda::testing
