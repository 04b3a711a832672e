#pragma once
// The "Output" settings group: where rips and conversions go, the rip format and the two naming
// rules of a rip.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tonalda {

class Registry;

inline constexpr std::string_view kOutputGroup = "Output";

// The settings page's "Output Format" list; a position is an OutputFormat.
inline constexpr std::array<std::string_view, 4> kOutputFormatListItems = {
    "WAV Files (*.wav)", "MP3 Files (*.mp3)", "WMA Files (*.wma)", "Ogg Vorbis(*.ogg)"};

struct OutputSettings {
    std::string ripFolder;           // "Rippath": rips are written under it
    std::string encodeFolder;        // "Encodepath": conversions are written into it
    std::int32_t format = 0;         // "format": OutputFormat of a rip
    std::int32_t fileNameRule = 0;   // "filename": 0..7
    std::int32_t subFolderRule = 0;  // "Subfloder": 0..4

    // Reads "filename", "Subfloder", "format", "rippath" and "Encodepath" in that order; the
    // first that is missing ends the load with false, leaving the later fields as they were.
    // Thread: the user interface thread (no job runs while settings change).
    bool load(Registry& registry);

    // Writes the group into the existing key (nothing is written when it is missing), reads it
    // back into this record and calls outputChanged (the main window's UM_OUTPUT_CHANGED: the
    // output format may have changed).
    // Returns false when the key is missing or a value could not be written.
    // Thread: the user interface thread.
    bool save(Registry& registry, const std::function<void()>& outputChanged);

    bool operator==(const OutputSettings&) const = default;
};

// The record loaded at start-up and shared by the views and jobs.
OutputSettings& outputSettings();

}  // namespace tonalda
