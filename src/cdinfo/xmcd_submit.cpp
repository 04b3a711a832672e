#include "cdinfo/xmcd_submit.h"

#include <algorithm>
#include <cstdio>

#include "cdinfo/debug_trace.h"
#include "codecs/genres.h"

namespace tonalda::cddb {
namespace {

std::string format(const char* pattern, auto... values) {
    char line[64];
    std::snprintf(line, sizeof line, pattern, values...);
    return line;
}

// The longest line of an entry, its CR LF included.
constexpr std::size_t kMaxLineBytes = 256;

// One character of a value as the xmcd format writes it: newline, tab and backslash escaped. A
// carriage return, which ends a line for every reader, is dropped.
std::string_view escapedCharacter(std::string_view character) {
    if (character == "\n")
        return "\\n";
    if (character == "\t")
        return "\\t";
    if (character == "\\")
        return "\\\\";
    if (character == "\r")
        return {};
    return character;
}

std::size_t utf8CharacterBytes(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// "KEY=value" with the value escaped, continued on further lines of the same key where one line
// would pass 256 bytes; a line is never split inside a character or an escape.
std::string keyLines(std::string_view key, std::string_view value) {
    const std::size_t room = kMaxLineBytes - key.size() - 1 - 2;  // "=" and CR LF
    std::string lines;
    std::string line;
    for (std::size_t at = 0; at < value.size();) {
        const std::size_t length =
            std::min(utf8CharacterBytes(static_cast<unsigned char>(value[at])), value.size() - at);
        const std::string_view character = escapedCharacter(value.substr(at, length));
        at += length;
        if (line.size() + character.size() > room) {
            lines += std::string(key) + "=" + line + "\r\n";
            line.clear();
        }
        line += character;
    }
    return lines + std::string(key) + "=" + line + "\r\n";
}

}  // namespace

std::string_view submitRefusalText(int result) {
    switch (result) {
        case kSubmitNoDiscTitle:
            return kRefusalNoDiscTitle;
        case kSubmitUntitledTrack:
            return kRefusalUntitledTrack;
        case kSubmitNotRead:
            return kRefusalNotRead;
        default:
            return {};
    }
}

std::string SubmitEntry::dump() const {
    std::string bytes(kSubmitDumpSize, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((discId >> (8 * i)) & 0xFF);
    bytes.replace(4, std::min(text.size(), kSubmitDumpSize - 4),
                  std::string_view(text).substr(0, kSubmitDumpSize - 4));
    return bytes;
}

int formatSubmitEntry(DiscView& view, const DiscInfo& info, int protocolLevel, SubmitEntry& out) {
    debugTrace("in formatSubmitEntry...");
    out = SubmitEntry{};
    const auto toc = view.lastToc();
    if (!toc)
        return kSubmitNotRead;
    const DiscIdentity identity = computeDiscIdentityFromToc(*toc);
    out.discId = identity.discId;

    std::string& text = out.text;
    text = "# xmcd\r\n#\r\n# Track frame offsets:\r\n";
    for (int track = 0; track < identity.trackCount; ++track)
        text += format("#       %d\r\n", identity.frameOffsets[static_cast<std::size_t>(track)]);
    text += format("#\r\n# Disc length: %d seconds\r\n", identity.leadOutSeconds);
    text += format("#\r\n# Revision: %d\r\n", info.submitRevision);
    text += format("# Submitted via: Marrowby v%d.%02d\r\n#\r\n", 1, 1);
    text += format("DISCID=%08x\r\n", identity.discId);
    text += keyLines("DTITLE", info.artist + " / " + info.album);
    // Levels 5 and 6 have the year and genre lines; 6 only adds UTF-8.
    if (protocolLevel >= 5)
        text += "DYEAR= \r\nDGENRE=" + genreCategory(info.genreIndex) + "\r\n";
    if (info.artist.empty() && info.album.empty())
        return kSubmitNoDiscTitle;

    bool untitled = false;
    for (int track = 0; track < identity.trackCount; ++track) {
        const std::string title = view.trackTitle(track);
        untitled = untitled || title == format("Track %02d", track + 1);
        text += keyLines(format("TTITLE%d", track), title);
    }
    if (untitled)
        return kSubmitUntitledTrack;

    text += "EXTD=\r\n";
    for (int track = 0; track < identity.trackCount; ++track)
        text += format("EXTT%d=\r\n", track);
    text += "PLAYORDER=\r\n";
    return kSubmitComplete;
}

}  // namespace tonalda::cddb
