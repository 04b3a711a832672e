#pragma once
// A CDDB HTTP server on loopback for the tests. It records every request byte for byte and
// answers through a responder; it can also misbehave (never answer, send raw bytes).

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tonalda::testing {

struct HttpRequest {
    std::string raw;     // every byte received
    std::string method;  // "POST", "GET"
    std::string target;  // as written on the request line (a path or an absolute URL)
    std::map<std::string, std::string> headers;  // names as sent
    std::string body;
    // The CDDB command with "+" turned into blanks: from the form body of a POST or the query
    // string of a GET.
    std::string command() const;
    std::string header(const std::string& name) const;
    // The "proto" of the hello, 0 without one.
    int protocolLevel() const;
};

class CddbTestServer {
  public:
    // The whole reply, HTTP headers included; the server closes the connection after it.
    using Responder = std::function<std::string(const HttpRequest&)>;
    enum class Mode { Answer, NeverAnswer };

    explicit CddbTestServer(Responder responder);
    ~CddbTestServer();
    CddbTestServer(const CddbTestServer&) = delete;
    CddbTestServer& operator=(const CddbTestServer&) = delete;

    int port() const { return port_; }
    void setMode(Mode mode) { mode_ = mode; }
    // Sends the replies to commands with this verb ("query", "read"; empty: every request) one
    // byte at a time, `perByte` apart; zero sends them whole again.
    void dripReplies(std::chrono::milliseconds perByte, const std::string& verb = {});
    std::vector<HttpRequest> requests() const;
    void clearRequests();

  private:
    void run();
    void serve(int client);
    void drip(int client, const std::string& reply, std::chrono::milliseconds perByte);

    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<Mode> mode_{Mode::Answer};
    Responder responder_;
    mutable std::mutex mutex_;
    std::chrono::milliseconds dripPerByte_{0};
    std::string dripVerb_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

// Answers like a freedb cddb.cgi from the files in testdata/cddb: query replies by disc ID
// (202 for an unknown one), read replies from the entries, lscat, and submit 200 or 500. It speaks
// the protocol levels up to its highest (6 unless set): a command asking for a higher one gets
// "501 Illegal protocol level.", and below level 6 text it holds as UTF-8 goes out as
// ISO-8859-1, with "?" for what that cannot hold, as servers send it.
class CddbFixtures {
  public:
    CddbFixtures();
    std::string operator()(const HttpRequest& request) const;

    // Overrides or adds the body of the query reply for a disc ID.
    void setQueryReply(const std::string& discId, const std::string& body);
    // Adds an entry (served by reads of any category) for a disc ID.
    void setEntry(const std::string& discId, const std::string& entry);
    void setLscatBody(const std::string& body) { lscat_ = body; }
    void setSubmitBody(const std::string& body) { submitOverride_ = body; }
    void setHighestLevel(int level) { highestLevel_ = level; }

    static std::string testdata(const std::string& relative);
    // The text with every lone LF turned into CR LF, as the server sends it.
    static std::string crlf(const std::string& text);
    static std::string httpReply(const std::string& body);

  private:
    std::map<std::string, std::string> queries_;
    std::map<std::string, std::string> entries_;
    std::string lscat_;
    std::string submitOverride_;
    int highestLevel_ = 6;
};

// The requests of the worked-example disc (tracks at 00:02:00 and 03:10:20, lead-out 06:00:00)
// as they go on the wire, for e-mail me@example.org and the client text "Marrowby v1.01".
inline std::string exampleLscatRequest(int level) {
    return "GET /~cddb/cddb.cgi?cmd=cddb+lscat&hello=me+example.org+Marrowby+v1.01&proto=" +
           std::to_string(level) + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Cordane090\r\n\r\n";
}
inline const std::string kExampleLscatRequest = exampleLscatRequest(5);
inline std::string exampleQueryRequest(int level) {
    const std::string body =
        "cmd=cddb+query+0c016602+2+150+14270+360&hello=me+example.org+Marrowby+v1.01&proto=" +
        std::to_string(level);
    return "POST /~cddb/cddb.cgi HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "User-Agent: Cordane090\r\nContent-Length: " +
           std::to_string(body.size() + 2) + "\r\n\r\n" + body + "\r\n";
}

}  // namespace tonalda::testing
