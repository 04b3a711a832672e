#pragma once
// What tonalda-cli prints about a disc: the track list as the rip view shows it, the disc's
// identities, and the disc information of a lookup or library read, as text or as JSON.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda {
class DiscSession;
struct CdDriveList;
}  // namespace tonalda

namespace tonalda::cli {

struct TocTrack {
    int number = 0;
    std::uint32_t startFrame = 0;
    std::uint32_t frameCount = 0;
    bool data = false;
    std::string title;
    std::string time;
    std::string size;
};

struct TocReport {
    std::uint32_t discId = 0;
    std::uint32_t playerKey = 0;
    int first = 0;
    int last = 0;
    std::uint32_t leadOut = 0;  // block address of the lead-out
    std::vector<TocTrack> tracks;
};

// The report of a built track list. Thread: the main thread.
TocReport tocReport(const DiscSession& session);

std::string tocText(const TocReport& report);
std::string tocJson(const TocReport& report);

struct DiscReport {
    std::uint32_t discId = 0;
    std::string artist;
    std::string album;
    int genreIndex = -1;
    std::vector<std::string> titles;
};

std::string discText(const DiscReport& report);
std::string discJson(const DiscReport& report);

// One line per drive: "<unit>: <display name>".
std::string drivesText(const CdDriveList& drives);

// A JSON string literal of UTF-8 text.
std::string jsonString(std::string_view text);
// The text without the blanks that pad it on either side.
std::string trimmed(std::string_view text);
// "%08x" of the disc ID.
std::string discIdText(std::uint32_t discId);

}  // namespace tonalda::cli
