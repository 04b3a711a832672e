#pragma once
// What the "Rip Segment" dialog works out from the disc: the start and end frame chosen with the
// sliders and the frame boxes and how they hold each other in place, which track and time a frame
// falls in, the totals, the drive's play addresses, and the output name the user gave.
// Frames are block addresses; the segment runs from its start up to (not including) its end.
// Thread: any (plain values).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cdaccess/cd_types.h"

namespace tonalda {

// The sliders run from 0 to this.
inline constexpr int kSegmentSliderRange = 10000;
// What the dialog says when a typed frame lies beyond the disc.
inline constexpr std::string_view kSegmentExceed = "exceed";

// The tracks of a disc as the dialog needs them.
struct SegmentDisc {
    int firstTrack = 1;
    std::vector<std::uint32_t> trackStarts;  // block address of each track, in order
    std::uint32_t length = 0;                // the lead-out's block address

    // From the LBA table of contents of a disc with `tracks` listed tracks.
    static SegmentDisc fromToc(const DiscToc& lbaToc, int tracks);
};

// "%d:%d" of whole minutes and the seconds left of a frame count (1:0 for 4500 frames).
std::string minuteSecondText(std::uint32_t frames);

// Where a frame lies: the track whose frames hold it (the lead-out belongs to the last track, so
// a segment's end shows where it stops) and the "%d:%d" time into that track. nullopt for a disc
// without tracks.
struct TrackPlace {
    int track = 0;
    std::string time;
    bool operator==(const TrackPlace&) const = default;
};
std::optional<TrackPlace> trackPlace(const SegmentDisc& disc, std::uint32_t frame);

// "Total Frames", "Total Time" and "Total Size" of a segment of that many frames.
struct SegmentTotals {
    std::string frames;
    std::string time;
    std::string size;
    bool operator==(const SegmentTotals&) const = default;
};
SegmentTotals segmentTotals(std::uint32_t frames);

// The start and end of the segment, always start <= end <= length. It opens as the whole disc:
// the start at frame 0, where the start box and slider stand, and the end at the lead-out.
class SegmentSelection {
  public:
    explicit SegmentSelection(std::uint32_t length);

    std::uint32_t start() const { return start_; }
    std::uint32_t end() const { return end_; }
    std::uint32_t length() const { return length_; }
    std::uint32_t frameCount() const { return end_ - start_; }
    int startSlider() const { return startSlider_; }
    int endSlider() const { return endSlider_; }

    // A slider moved: the start slider never passes the end slider nor the end slider the start
    // slider; the frame is the position's share of the disc.
    void moveStartSlider(int position);
    void moveEndSlider(int position);
    // A frame typed into a box. True when it lay beyond the disc ("exceed"): a start then moves
    // to the end, an end to the disc's end. A start past the end stops at the end, an end before
    // the start at the start.
    bool typeStart(std::uint64_t frame);
    bool typeEnd(std::uint64_t frame);

    // The slider position that shows a frame.
    int sliderPositionOf(std::uint32_t frame) const;
    std::uint32_t frameAt(int position) const;

  private:
    std::uint32_t length_;
    std::uint32_t start_ = 0;
    std::uint32_t end_;
    int startSlider_ = 0;
    int endSlider_ = kSegmentSliderRange;
};

// Minute, second and frame of a block address as the drive's play command takes them (block 0
// is 00:02:00).
struct MsfAddress {
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint8_t frame = 0;
    bool operator==(const MsfAddress&) const = default;
};
MsfAddress msfOfBlock(std::uint32_t block);

// The segment's output file from the name the user typed or chose: blanks around it dropped, a
// relative name placed in the rip folder, and the format's extension added unless the name ends
// in it (the encoders name their files by the last four characters). nullopt for an empty name
// and for one that ends in a folder separator.
std::optional<std::filesystem::path> segmentOutputName(std::string_view typed,
                                                       const std::filesystem::path& ripFolder,
                                                       std::int32_t format);

}  // namespace tonalda
