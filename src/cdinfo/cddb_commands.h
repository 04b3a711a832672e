#pragma once
// The CDDB protocol layer: the query, read, lscat and submit commands sent through the HTTP
// transport, and the reading of their replies. Commands return 1 for success and 4 for failure.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cdinfo/cddb_client.h"

namespace tonalda::cddb {

inline constexpr int kCddbOk = 1;
inline constexpr int kCddbFailed = 4;
inline constexpr std::size_t kLookupMatchCapacity = 32;
// The protocol level whose text is UTF-8 both ways; below it the text on the wire is ISO-8859-1.
inline constexpr int kUtf8ProtocolLevel = 6;

// One line of a query reply. Texts are UTF-8.
struct CddbMatch {
    std::string category;    // at most 11 characters, such as "rock"
    std::string discIdText;  // at most 8 hexadecimal digits, as the server wrote them
    int exact = 0;           // 1 from a 200 or 210 reply, 0 from a 211 reply
    std::string artist;      // at most 80 characters
    std::string title;       // at most 80 characters
    bool operator==(const CddbMatch&) const = default;
};

// Parses "category discid artist / title" (raw reply bytes; artist and title are converted as
// serverTextToUtf8 does with replyIsUtf8). nullopt when the line does not parse.
std::optional<CddbMatch> parseMatchLine(std::string_view line, bool replyIsUtf8 = true);

// The matches of a whole query reply (HTTP headers included or not), at most capacity of them.
std::vector<CddbMatch> parseQueryReply(std::string_view reply, std::size_t capacity);

// "cmd=cddb+query+<discid>+<count>+<offsets>+<seconds>&hello=...&proto=N", escaped.
std::string buildQueryCommand(const CddbConfig& config, std::uint32_t discId,
                              std::span<const int> frameOffsets, int leadOutSeconds);
std::string buildReadCommand(const CddbConfig& config, const CddbMatch& match);
std::string buildLscatCommand(const CddbConfig& config, int level);
// The submission's header lines; a UTF-8 entry says so in a "Charset" line.
std::string buildSubmitHeaders(std::uint32_t discId, bool test, std::string_view email,
                               std::string_view category, bool utf8 = false);
// Whether the entry text can go out at the configuration's protocol level: always at level 6,
// below it only when every character has an ISO-8859-1 code.
bool submissionFitsLevel(const CddbConfig& config, std::string_view entryText);

// The xmcd entry of a read reply: the body after its "210" status line without the closing "."
// line. nullopt when the reply is not a 210 reply, lacks the closing "." line (it was cut short)
// or the entry does not fit in bufferSize bytes. The entry is converted to UTF-8.
std::optional<std::string> entryFromReadReply(std::string_view reply, std::size_t bufferSize);

// Thread: the lookup or submit job's worker thread (they talk to the server). Each command goes
// out with the configuration given and ends early when the cancel is requested.
// Queries the disc with the given identity; the number of frame offsets is the track count.
// Always status 1: a reply other than 200, 210 or 211 (or none at all) gives no matches.
int cddbQuery(const CddbConfig& config, std::uint32_t discId, std::span<const int> frameOffsets,
              int leadOutSeconds, std::vector<CddbMatch>& matches, std::size_t capacity,
              const CancelToken& cancel);
// Reads the entry of a match; the reply may use at most bufferSize bytes.
int cddbRead(const CddbConfig& config, const CddbMatch& match, std::string& entry,
             std::size_t bufferSize, const CancelToken& cancel);
// 1 when the server accepts the protocol level (its lscat reply holds "210"), asked with the
// configuration as it stands.
int cddbListCategories(const CddbConfig& config, int level, const CancelToken& cancel);
// Sends an xmcd entry (UTF-8). At protocol level 6 it goes out as UTF-8, below as ISO-8859-1; an
// entry that ISO-8859-1 cannot hold is then not sent at all (status 4), rather than with
// question marks for what it cannot hold.
int cddbSubmit(const CddbConfig& config, std::uint32_t discId, bool test, std::string_view email,
               std::string_view category, std::string_view entryText, const CancelToken& cancel);

// The same with the process-wide options.
int cddbQuery(std::uint32_t discId, std::span<const int> frameOffsets, int leadOutSeconds,
              std::vector<CddbMatch>& matches, std::size_t capacity = kLookupMatchCapacity);
int cddbRead(const CddbMatch& match, std::string& entry, std::size_t bufferSize = kReadReplySize);
// On success the level becomes the process-wide highest verified one.
int cddbListCategories(int level);
int cddbSubmit(std::uint32_t discId, bool test, std::string_view email, std::string_view category,
               std::string_view entryText);

}  // namespace tonalda::cddb
