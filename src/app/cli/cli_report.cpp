#include "app/cli/cli_report.h"

#include <cstdio>
#include <cstring>

#include "cdaccess/cd_types.h"
#include "cdinfo/disc_identity.h"
#include "codecs/genres.h"
#include "rip/disc_session.h"

namespace tonalda::cli {
namespace {

std::string formatted(const char* format, auto... values) {
    char line[256];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

}  // namespace

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string discIdText(std::uint32_t discId) {
    return formatted("%08x", discId);
}

std::string jsonString(std::string_view text) {
    std::string result = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (c == '\t') {
            result += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            result += formatted("\\u%04x", byte);
        } else {
            result += c;
        }
    }
    return result + "\"";
}

TocReport tocReport(const DiscSession& session) {
    TocReport report;
    const DiscToc lba = session.lbaToc();
    const DiscToc msf = session.msfToc();
    report.discId = computeDiscIdentityFromToc(msf).discId;
    report.playerKey = computePlayerKeyFromToc(msf);
    report.first = lba.firstTrack;
    report.last = lba.lastTrack;
    const std::size_t descriptors = lba.descriptorCount();
    const std::vector<TrackRow> rows = session.rows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const TrackItem& item = rows[row].item;
        report.tracks.push_back({session.firstTrack() + static_cast<int>(row), item.startFrame,
                                 item.frameCount, row < descriptors && lba.tracks[row].isData(),
                                 rows[row].text[kColumnTitle], rows[row].text[kColumnTime],
                                 rows[row].text[kColumnSize]});
    }
    report.leadOut = session.leadOutFrame();
    return report;
}

std::string tocText(const TocReport& report) {
    std::string text =
        "Disc ID " + discIdText(report.discId) + ", player key " + playerKeyText(report.playerKey) +
        formatted(", tracks %d-%d, lead-out %u\n", report.first, report.last, report.leadOut);
    text += formatted("%3s  %-24s %6s %10s %8s %8s  %s\n", "#", "Title", "Time", "Size", "Start",
                      "Frames", "Type");
    for (const TocTrack& track : report.tracks) {
        text += formatted("%3d  ", track.number);
        // Titles are UTF-8: pad by characters, not bytes.
        text += track.title;
        std::size_t characters = 0;
        for (const char c : track.title)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (characters < 24)
            text.append(24 - characters, ' ');
        text += formatted(" %6s %10s %8u %8u  %s\n", track.time.c_str(), track.size.c_str(),
                          track.startFrame, track.frameCount, track.data ? "data" : "audio");
    }
    return text;
}

std::string tocJson(const TocReport& report) {
    std::string json = "{\"discId\": " + jsonString(discIdText(report.discId)) +
                       ", \"playerKey\": " + jsonString(playerKeyText(report.playerKey)) +
                       formatted(", \"first\": %d, \"last\": %d, \"leadOut\": %u, \"tracks\": [",
                                 report.first, report.last, report.leadOut);
    for (std::size_t index = 0; index < report.tracks.size(); ++index) {
        const TocTrack& track = report.tracks[index];
        json += index == 0 ? "" : ", ";
        json += formatted("{\"number\": %d, \"startFrame\": %u, \"frameCount\": %u, \"data\": %s",
                          track.number, track.startFrame, track.frameCount,
                          track.data ? "true" : "false");
        json += ", \"title\": " + jsonString(track.title) +
                ", \"time\": " + jsonString(track.time) + ", \"size\": " + jsonString(track.size) +
                "}";
    }
    return json + "]}";
}

std::string discText(const DiscReport& report) {
    std::string text = "Disc ID: " + discIdText(report.discId) + "\n";
    text += "Artist: " + report.artist + "\n";
    text += "Album: " + report.album + "\n";
    text += "Genre: ";
    text += isGenreNumber(report.genreIndex)
                ? std::string(genreName(report.genreIndex)) + formatted(" (%d)", report.genreIndex)
                : formatted("none (%d)", report.genreIndex);
    text += "\n";
    for (std::size_t row = 0; row < report.titles.size(); ++row)
        text += formatted("%3zu  ", row + 1) + report.titles[row] + "\n";
    return text;
}

std::string discJson(const DiscReport& report) {
    std::string json = "{\"discId\": " + jsonString(discIdText(report.discId)) +
                       ", \"artist\": " + jsonString(report.artist) +
                       ", \"album\": " + jsonString(report.album) +
                       formatted(", \"genreIndex\": %d, \"titles\": [", report.genreIndex);
    for (std::size_t row = 0; row < report.titles.size(); ++row)
        json += (row == 0 ? "" : ", ") + jsonString(report.titles[row]);
    return json + "]}";
}

std::string drivesText(const CdDriveList& drives) {
    std::string text;
    for (int unit = 0; unit < drives.count && unit < 8; ++unit) {
        const CdDriveEntry& drive = drives.drives[unit];
        const std::string name(drive.displayName,
                               strnlen(drive.displayName, sizeof drive.displayName));
        text += std::to_string(unit) + ": " + trimmed(name) + "\n";
    }
    return text;
}

}  // namespace tonalda::cli
