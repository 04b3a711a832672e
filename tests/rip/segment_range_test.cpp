// What the segment dialog works out: ends that hold each other in place whether moved by slider
// or typed, where a frame lies, the totals, the drive's play addresses and the output name.

#include "rip/segment_range.h"

#include <gtest/gtest.h>

#include "codecs/output_format.h"

namespace tonalda {
namespace {

SegmentDisc twoTracks() {
    SegmentDisc disc;
    disc.firstTrack = 1;
    disc.trackStarts = {0, 4500};
    disc.length = 9000;
    return disc;
}

TEST(SegmentSelection, OpensOnTheWholeDiscAndItsEndsNeverCross) {
    SegmentSelection selection(9000);
    EXPECT_EQ(selection.start(), 0u);
    EXPECT_EQ(selection.end(), 9000u);
    EXPECT_EQ(selection.endSlider(), kSegmentSliderRange);

    // The start slider stops at the end slider: the segment is empty, never negative.
    selection.moveStartSlider(kSegmentSliderRange);
    EXPECT_EQ(selection.startSlider(), kSegmentSliderRange);
    EXPECT_EQ(selection.frameCount(), 0u);
    selection.moveStartSlider(0);
    selection.moveEndSlider(5000);
    EXPECT_EQ(selection.end(), 4500u);
    selection.moveStartSlider(7000);
    EXPECT_EQ(selection.startSlider(), 5000);
    EXPECT_EQ(selection.start(), 4500u);

    // A typed start off the slider's grid: the end slider moved onto the start's position does
    // not put the end before it.
    SegmentSelection typed(9001);
    EXPECT_FALSE(typed.typeStart(4001));
    typed.moveEndSlider(0);
    EXPECT_EQ(typed.endSlider(), typed.startSlider());
    EXPECT_EQ(typed.end(), 4001u);
    EXPECT_EQ(typed.frameCount(), 0u);
}

TEST(SegmentSelection, TypedFramesAreClampedToTheDiscAndToTheOtherEnd) {
    SegmentSelection selection(9000);
    EXPECT_FALSE(selection.typeStart(2000));
    EXPECT_EQ(selection.startSlider(), 2222);
    // An end before the start stops at the start; a start past the end at the end.
    EXPECT_FALSE(selection.typeEnd(1000));
    EXPECT_EQ(selection.end(), 2000u);
    EXPECT_FALSE(selection.typeEnd(6000));
    EXPECT_FALSE(selection.typeStart(7000));
    EXPECT_EQ(selection.start(), 6000u);
    // A start beyond the disc is refused and goes to the end.
    EXPECT_TRUE(selection.typeStart(1ull << 40));
    EXPECT_EQ(selection.start(), 6000u);

    SegmentSelection empty(0);  // no disc: nothing divides by its length
    empty.moveEndSlider(3000);
    EXPECT_EQ(empty.end(), 0u);
}

TEST(SegmentReadOuts, TracksTimesAndTotals) {
    const SegmentDisc disc = twoTracks();
    EXPECT_EQ(trackPlace(disc, 0), (TrackPlace{1, "0:0"}));
    EXPECT_EQ(trackPlace(disc, 4499), (TrackPlace{1, "0:59"}));
    // A track's first frame belongs to it, and the disc's end to the last track.
    EXPECT_EQ(trackPlace(disc, 4500), (TrackPlace{2, "0:0"}));
    EXPECT_EQ(trackPlace(disc, 9000), (TrackPlace{2, "1:0"}));
    SegmentDisc late = disc;
    late.trackStarts = {150, 4500};
    EXPECT_EQ(trackPlace(late, 20), (TrackPlace{1, "0:0"}));
    EXPECT_FALSE(trackPlace(SegmentDisc{}, 0));

    EXPECT_EQ(segmentTotals(4500), (SegmentTotals{"4500", "1:0", "10.09 MB"}));
}

TEST(SegmentPlayback, BlocksBecomeTheDrivesAddresses) {
    EXPECT_EQ(msfOfBlock(0), (MsfAddress{0, 2, 0}));
    EXPECT_EQ(msfOfBlock(4350), (MsfAddress{1, 0, 0}));
    EXPECT_EQ(msfOfBlock(4424), (MsfAddress{1, 0, 74}));
}

TEST(SegmentOutputName, TypedNamesLandInTheRipFolderWithTheFormatsExtension) {
    const std::filesystem::path rip = "/music/rips";
    const auto mp3 = static_cast<std::int32_t>(OutputFormat::Mp3);
    EXPECT_EQ(segmentOutputName("  live set ", rip, mp3), rip / "live set.mp3");
    EXPECT_EQ(segmentOutputName("live.mp3", rip, mp3), rip / "live.mp3");
    // The extension's case is the format's, so that the encoder's name is the same file.
    EXPECT_EQ(segmentOutputName("live.MP3", rip, mp3), rip / "live.mp3");
    EXPECT_EQ(segmentOutputName("live.wav", rip, mp3), rip / "live.wav.mp3");
    EXPECT_EQ(segmentOutputName("/tmp/x", rip, static_cast<std::int32_t>(OutputFormat::Ogg)),
              std::filesystem::path("/tmp/x.ogg"));
    EXPECT_EQ(segmentOutputName("sub/part", rip, static_cast<std::int32_t>(OutputFormat::Wav)),
              rip / "sub/part.wav");
    EXPECT_FALSE(segmentOutputName("   ", rip, mp3));
    EXPECT_FALSE(segmentOutputName("/tmp/", rip, mp3));
}

}  // namespace
}  // namespace tonalda
