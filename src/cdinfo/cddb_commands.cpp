#include "cdinfo/cddb_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cdinfo/cddb_text.h"
#include "platform/text_codec.h"

namespace tonalda::cddb {
namespace {

constexpr std::size_t kLineLimit = 79;
constexpr std::size_t kCategoryLimit = 11;
constexpr std::size_t kDiscIdDigits = 8;
constexpr std::size_t kMatchTextLimit = 80;
constexpr int kMaxMatchLines = 100;

// Reads the reply line by line. A line ends at CR LF or at a bare LF, so that an LF inside a
// line can never carry text into a title; text after the last line end is no line.
class ReplyLines {
  public:
    explicit ReplyLines(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next() {
        const auto end = text_.find('\n', position_);
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::size_t lineEnd = end > position_ && text_[end - 1] == '\r' ? end - 1 : end;
        const std::string_view line =
            text_.substr(position_, std::min(lineEnd - position_, kLineLimit));
        position_ = end + 1;
        return line;
    }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

std::string hello(const CddbConfig& config) {
    return "&hello=" + config.email + "+" + config.clientName +
           "&proto=" + std::to_string(config.protocolLevel);
}

std::string withoutTrailingNewline(std::string text) {
    if (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

int statusOf(std::string_view line) {
    int status = 0;
    for (std::size_t i = 0;
         i < 3 && i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i)
        status = status * 10 + (line[i] - '0');
    return status;
}

}  // namespace

std::optional<CddbMatch> parseMatchLine(std::string_view line, bool replyIsUtf8) {
    const auto firstBlank = line.find(' ');
    if (line.empty() || firstBlank == std::string_view::npos || firstBlank == 0)
        return std::nullopt;
    CddbMatch match;
    match.category =
        serverTextToUtf8(line.substr(0, std::min(firstBlank, kCategoryLimit)), replyIsUtf8);
    std::size_t pos = line.find_first_not_of(' ', firstBlank);
    if (pos == std::string_view::npos)
        return std::nullopt;
    const std::size_t idStart = pos;
    while (pos < line.size() && pos - idStart < kDiscIdDigits &&
           std::isxdigit(static_cast<unsigned char>(line[pos])))
        ++pos;
    if (pos >= line.size() || line[pos] != ' ')
        return std::nullopt;
    match.discIdText = std::string(line.substr(idStart, pos - idStart));
    pos = line.find_first_not_of(' ', pos);
    const std::string discTitle = serverTextToUtf8(
        pos == std::string_view::npos ? std::string_view{} : line.substr(pos), replyIsUtf8);
    const auto separator = discTitle.find(" / ");
    if (separator != std::string::npos) {
        match.artist =
            cutCharacters(std::string_view(discTitle).substr(0, separator), kMatchTextLimit);
        match.title =
            cutCharacters(std::string_view(discTitle).substr(separator + 3), kMatchTextLimit);
    } else {
        match.artist = match.title = cutCharacters(discTitle, kMatchTextLimit);
    }
    match.artist = withoutTrailingNewline(std::move(match.artist));
    match.title = withoutTrailingNewline(std::move(match.title));
    return match;
}

std::vector<CddbMatch> parseQueryReply(std::string_view reply, std::size_t capacity) {
    const std::string_view body = skipHttpHeaders(reply);
    const bool utf8 = text::isValidUtf8(body);
    std::vector<CddbMatch> matches;
    ReplyLines lines(body);
    const auto first = lines.next();
    if (!first || capacity == 0)
        return matches;
    const int status = statusOf(*first);
    if (status == 200) {
        if (first->size() >= 4)
            if (auto match = parseMatchLine(first->substr(4), utf8)) {
                match->exact = 1;
                matches.push_back(std::move(*match));
            }
    } else if (status == 210 || status == 211) {
        for (int read = 0; read < kMaxMatchLines && matches.size() < capacity; ++read) {
            const auto line = lines.next();
            if (!line || *line == ".")
                break;
            if (auto match = parseMatchLine(*line, utf8)) {
                match->exact = status == 210 ? 1 : 0;
                matches.push_back(std::move(*match));
            }
        }
    }
    return matches;
}

std::string buildQueryCommand(const CddbConfig& config, std::uint32_t discId,
                              std::span<const int> frameOffsets, int leadOutSeconds) {
    char head[32];
    std::snprintf(head, sizeof head, "cmd=cddb+query+%08x+%zu+", discId, frameOffsets.size());
    std::string command = head;
    for (const int offset : frameOffsets)
        command += std::to_string(offset) + "+";
    return command + escapeHello(std::to_string(leadOutSeconds) + hello(config));
}

std::string buildReadCommand(const CddbConfig& config, const CddbMatch& match) {
    return "cmd=cddb+read+" + match.category + "+" + match.discIdText + escapeHello(hello(config));
}

std::string buildLscatCommand(const CddbConfig& config, int level) {
    return escapeHello("cmd=cddb+lscat&hello=" + config.email + "+" + config.clientName +
                       "&proto=" + std::to_string(level));
}

std::string buildSubmitHeaders(std::uint32_t discId, bool test, std::string_view email,
                               std::string_view category, bool utf8) {
    char discIdLine[32];
    std::snprintf(discIdLine, sizeof discIdLine, "Discid: %08x\r\n", discId);
    return "Category: " + std::string(category) + "\r\n" + discIdLine +
           "User-Email: " + std::string(email) + "\r\nSubmit-Mode: " + (test ? "test" : "submit") +
           "\r\n" + (utf8 ? "Charset: UTF-8\r\n" : "");
}

bool submissionFitsLevel(const CddbConfig& config, std::string_view entryText) {
    return config.protocolLevel >= kUtf8ProtocolLevel || text::fitsLatin1(entryText);
}

std::optional<std::string> entryFromReadReply(std::string_view reply, std::size_t bufferSize) {
    const std::string_view body = skipHttpHeaders(reply);
    if (!body.starts_with("210"))
        return std::nullopt;
    const auto newline = body.find('\n');
    if (newline == std::string_view::npos)
        return std::nullopt;
    std::string_view entry = body.substr(newline + 1);
    // The entry ends with its closing "." line. Without it the reply was cut, by the buffer or by
    // the server, and the titles would be lost: that is a failed read, not a shorter entry.
    if (entry.ends_with("\n"))
        entry.remove_suffix(entry.ends_with("\r\n") ? 2 : 1);
    if (entry != "." && !entry.ends_with("\n."))
        return std::nullopt;
    // Drop the closing "." line, keeping the line end before it.
    entry.remove_suffix(1);
    if (entry.size() >= bufferSize)
        return std::nullopt;
    return text::utf8OrLatin1ToUtf8(entry);
}

int cddbQuery(const CddbConfig& config, std::uint32_t discId, std::span<const int> frameOffsets,
              int leadOutSeconds, std::vector<CddbMatch>& matches, std::size_t capacity,
              const CancelToken& cancel) {
    const std::string command = buildQueryCommand(config, discId, frameOffsets, leadOutSeconds);
    const std::string reply =
        cddbPost(config, config.queryScript, command, std::nullopt, kQueryReplySize, cancel);
    matches = parseQueryReply(reply, capacity);
    return kCddbOk;
}

int cddbRead(const CddbConfig& config, const CddbMatch& match, std::string& entry,
             std::size_t bufferSize, const CancelToken& cancel) {
    const std::string reply = cddbPost(config, config.queryScript, buildReadCommand(config, match),
                                       std::nullopt, bufferSize, cancel);
    auto text = entryFromReadReply(reply, bufferSize);
    if (!text)
        return kCddbFailed;
    entry = std::move(*text);
    return kCddbOk;
}

int cddbListCategories(const CddbConfig& config, int level, const CancelToken& cancel) {
    const std::string reply = cddbGet(config, config.queryScript, buildLscatCommand(config, level),
                                      std::nullopt, kLscatReplySize, cancel);
    return reply.empty() || reply.find("210") == std::string::npos ? 0 : 1;
}

int cddbSubmit(const CddbConfig& config, std::uint32_t discId, bool test, std::string_view email,
               std::string_view category, std::string_view entryText, const CancelToken& cancel) {
    if (!submissionFitsLevel(config, entryText))
        return kCddbFailed;
    const bool utf8 = config.protocolLevel >= kUtf8ProtocolLevel;
    const std::string body = utf8 ? std::string(entryText) : text::utf8ToLatin1(entryText);
    const std::string reply =
        cddbPost(config, config.submitScript, body,
                 buildSubmitHeaders(discId, test, email, category, utf8), kSubmitReplySize, cancel);
    return skipHttpHeaders(reply).starts_with("200") ? kCddbOk : kCddbFailed;
}

int cddbQuery(std::uint32_t discId, std::span<const int> frameOffsets, int leadOutSeconds,
              std::vector<CddbMatch>& matches, std::size_t capacity) {
    return cddbQuery(cddbConfig(), discId, frameOffsets, leadOutSeconds, matches, capacity,
                     neverCancelled());
}

int cddbRead(const CddbMatch& match, std::string& entry, std::size_t bufferSize) {
    return cddbRead(cddbConfig(), match, entry, bufferSize, neverCancelled());
}

int cddbListCategories(int level) {
    if (cddbListCategories(cddbConfig(), level, neverCancelled()) != 1)
        return 0;
    setHighestVerifiedLevel(level);
    return 1;
}

int cddbSubmit(std::uint32_t discId, bool test, std::string_view email, std::string_view category,
               std::string_view entryText) {
    return cddbSubmit(cddbConfig(), discId, test, email, category, entryText, neverCancelled());
}

}  // namespace tonalda::cddb
