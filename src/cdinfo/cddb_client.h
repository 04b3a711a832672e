#pragma once
// The CDDB client's HTTP transport: the client options, the four request forms (POST for
// commands and GET for lscat, each direct or through an HTTP proxy with Basic authorization), one
// TCP connection per request, and reading the whole reply into a buffer of a given size.
//
// Every request goes out with the CddbConfig it is given. The jobs build theirs from the options
// the last job left (the process-wide record below) and their settings, and publish it when
// done setting it up, in one step; nothing process-wide changes while a request is on its way.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cancel_token.h"

namespace tonalda::cddb {

// Option codes of setCddbOption / getCddbOption.
enum CddbOption : int {
    kOptServerHost = 0,
    kOptProxyHost = 1,
    kOptUseProxy = 2,
    kOptClientName = 3,
    kOptEmail = 4,
    kOptProxyPort = 5,
    kOptQueryScript = 6,
    kOptServerPort = 7,
    kOptMirrorIni = 8,  // kept as a stored flag; the program never mirrors entries
    kOptUsePost = 9,
    kOptSubmitScript = 10,
    kOptProxyAuth = 11,
    kOptProtocolLevel = 12,
};

// Reply buffer sizes of the commands.
inline constexpr std::size_t kQueryReplySize = 2048;
inline constexpr std::size_t kReadReplySize = 32000;
inline constexpr std::size_t kSubmitReplySize = 32768;
inline constexpr std::size_t kLscatReplySize = 4196;

inline constexpr std::string_view kInitialServerHost = "gnudb.gnudb.org";
inline constexpr std::string_view kInitialEmail = "user@example.org";

// A snapshot of the client options. Texts are kept cut to their limits; clientName and email are
// held in their hello-escaped form.
struct CddbConfig {
    std::string serverHost{kInitialServerHost};
    std::string proxyHost;
    bool useProxy = false;
    std::string clientName = "cordane32dll+1.0";
    std::string email;  // escaped form of kInitialEmail, filled in by the constructor of the store
    int proxyPort = 0;
    std::string queryScript = "/~cddb/cddb.cgi";
    int serverPort = 80;
    bool mirrorIni = true;
    bool usePost = true;
    std::string submitScript = "/~cddb/submit.cgi";
    std::optional<std::string> proxyAuthorization;  // Base64 of "user:password"
    int protocolLevel = 4;
    int highestVerifiedLevel = 0;
};

// How long a request waits. A server that accepts and never answers ends the request after the
// idle time, and one that drips its reply a byte at a time ends it at the request's deadline,
// counted from the start of the connection; the reply is then dropped as cut short.
struct CddbTimeouts {
    std::chrono::milliseconds connect{15000};
    std::chrono::milliseconds idle{30000};
    std::chrono::milliseconds request{60000};
};

// Sets one option in a configuration, with the texts' limits and escapes. Option 12 (protocol
// level) is not set here: a level needs the server's check first (cddbVerifyLevel).
void applyCddbOption(CddbConfig& config, int code, std::optional<std::string_view> text,
                     int number);

// The process-wide options: as the last job (or setCddbOption) left them.
// Thread: any. The options are guarded; each request works on a snapshot.
// Setting option 12 to a level above the highest verified one sends an lscat request first.
void setCddbOption(int code, std::optional<std::string_view> text, int number);
// The numeric options 2, 5, 7, 8, 9 and 12; any other code gives 0 and *isNumeric = false.
int getCddbOption(int code, bool* isNumeric = nullptr);
CddbConfig cddbConfig();
// Replaces the process-wide options with a job's, in one step; the highest verified level only
// ever grows.
void publishCddbConfig(const CddbConfig& config);
// Puts every option back to its initial value (for tests and a fresh start).
void resetCddbConfig();

// Records a protocol level that the server accepted.
void setHighestVerifiedLevel(int level);

void setCddbTimeouts(CddbTimeouts timeouts);
CddbTimeouts cddbTimeouts();

// The hello escape: from the second character on, every blank and "@" becomes "+".
std::string escapeHello(std::string_view text);

// Sends a POST of body to scriptPath (query, read, submit) with the configuration's server or
// proxy and returns the reply as text: at most bufferSize-1 bytes, cut where less than 128 bytes
// of room would remain, and ending at the first NUL byte. An unresolvable host or failed
// connection gives an empty text, and so do a cancel (noticed within 100 ms while it waits) and
// a reply still coming at the request's deadline.
// Thread: the job's worker thread.
std::string cddbPost(const CddbConfig& config, std::string_view scriptPath, std::string_view body,
                     std::optional<std::string_view> extraHeaders, std::size_t bufferSize,
                     const CancelToken& cancel = neverCancelled());
// The same for a GET of scriptPath?query (lscat).
std::string cddbGet(const CddbConfig& config, std::string_view scriptPath, std::string_view query,
                    std::optional<std::string_view> extraHeaders, std::size_t bufferSize,
                    const CancelToken& cancel = neverCancelled());
// The same with the process-wide options.
std::string cddbPost(std::string_view scriptPath, std::string_view body,
                     std::optional<std::string_view> extraHeaders, std::size_t bufferSize);
std::string cddbGet(std::string_view scriptPath, std::string_view query,
                    std::optional<std::string_view> extraHeaders, std::size_t bufferSize);

// The request texts as they go on the wire, for the given configuration.
std::string buildPostRequest(const CddbConfig& config, std::string_view scriptPath,
                             std::string_view body, std::optional<std::string_view> extraHeaders);
std::string buildGetRequest(const CddbConfig& config, std::string_view scriptPath,
                            std::string_view query, std::optional<std::string_view> extraHeaders);

// The body of a reply: after the first blank line when the text starts with "HTTP", otherwise
// the whole text.
std::string_view skipHttpHeaders(std::string_view reply);

// RFC 4648 Base64 with "=" padding and no line breaks.
std::string base64Encode(std::string_view bytes);

}  // namespace tonalda::cddb
