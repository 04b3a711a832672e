#pragma once
// The command line of tonalda-cli: which command, and the flags that override the hive's settings
// for one run (they are never saved).

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda::cli {

enum class Command { Help, Drives, Toc, Rip, Convert, Lookup, Library, Submit };

enum class LibraryOperation { Read, Save, IniRead, IniWrite };

// A segment as the segment rip takes it: end - start frames from start.
struct FrameRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool operator==(const FrameRange&) const = default;
};

struct CliOptions {
    Command command = Command::Help;
    std::optional<std::int32_t> unit;
    bool json = false;
    bool save = false;
    bool test = false;  // submit: the server checks the entry and keeps nothing
    // Empty: every track. Otherwise the track numbers asked for.
    std::set<int> tracks;
    std::optional<FrameRange> segment;
    std::optional<std::int32_t> format;  // OutputFormat list position
    std::optional<std::string> outFolder;
    LibraryOperation library = LibraryOperation::Read;
    std::vector<std::string> files;
};

struct ParseResult {
    std::optional<CliOptions> options;
    std::string error;  // what was wrong, when options is empty
};

// Parses the arguments after the program name.
ParseResult parseCommandLine(const std::vector<std::string>& arguments);

// "all" gives an empty set; "1,3-5" gives {1, 3, 4, 5}. nullopt for anything else, for zero and
// for a range whose end is below its start.
std::optional<std::set<int>> parseTrackSelection(std::string_view text);

// "FIRST-LAST" in frames (block addresses): LAST - FIRST frames from FIRST; LAST not below FIRST.
std::optional<FrameRange> parseSegment(std::string_view text);

// "wav", "mp3", "wma", "ogg" (any case) as the OutputFormat list position.
std::optional<std::int32_t> parseFormat(std::string_view text);

std::string usageText();

}  // namespace tonalda::cli
