// Rows of the track list computed from tables of contents in memory.

#include <gtest/gtest.h>

#include "cdinfo/toc_builder.h"
#include "codecs/output_format.h"
#include "rip/track_list.h"

namespace tonalda {
namespace {

using test::TocTrack;

struct Disc {
    DiscToc lba;
    DiscToc msf;
};

Disc makeDisc(int first, const std::vector<TocTrack>& tracks, std::uint32_t leadOut) {
    return {test::makeLbaToc(first, tracks, leadOut), test::makeMsfToc(first, tracks, leadOut)};
}

std::vector<TrackRow> rowsOf(const Disc& disc, std::array<std::int32_t, 100>& seconds,
                             std::int32_t format = 1) {
    return rowsFromToc(disc.lba, disc.msf, format, seconds);
}

// Generated discs through the virtual drive cover ordinary discs (track_list_test.cpp); these are
// the tables a drive seldom or never gives.

TEST(TrackRows, SizeTextCutsHundredthsAndShortTracksKeepTheirFrames) {
    EXPECT_EQ(sizeText(0x80000), "0.50 MB");
    EXPECT_EQ(sizeText(0xFFFFF), "0.99 MB");
    EXPECT_EQ(durationText(6000), "100:00");
    std::array<std::int32_t, 100> seconds{};
    // A track before a data track that is too short to hold the session gap.
    const auto rows = rowsOf(makeDisc(1, {{0}, {11250, true}}, 20000), seconds);
    EXPECT_EQ(rows[0].item.frameCount, 11250u);
}

TEST(TrackRows, DiscStartingAboveTrackOneListsFromItsFirstTrack) {
    std::array<std::int32_t, 100> seconds{};
    const auto rows = rowsOf(makeDisc(3, {{0}, {7500}, {15000}}, 22500), seconds);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].item.baseName, "Track 03");
    EXPECT_EQ(rows[0].item.tag.Track1, "3");
    EXPECT_EQ(rows[2].item.baseName, "Track 05");
    EXPECT_EQ(rows[2].item.startFrame, 15000u);
    EXPECT_EQ(rows[2].item.frameCount, 7500u);
    EXPECT_EQ(seconds[3], 100);
    EXPECT_EQ(seconds[5], 100);
    EXPECT_EQ(seconds[1], 0);
}

TEST(TrackRows, BrokenTablesGiveNoWildRows) {
    std::array<std::int32_t, 100> seconds{};
    Disc reversed = makeDisc(1, {{0}}, 100);
    reversed.lba.firstTrack = 5;
    reversed.lba.lastTrack = 2;
    EXPECT_TRUE(rowsOf(reversed, seconds).empty());

    // A lead-out before the track's start: no frames, no negative time.
    const auto rows = rowsOf(makeDisc(1, {{5000}}, 100), seconds);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].item.frameCount, 0u);
    EXPECT_EQ(rows[0].text[kColumnTime], "00:00");

    // Track numbers 1 to 255 read at most the 99 tracks whose lead-out fits the reply.
    Disc wide = makeDisc(1, {{0}}, 100);
    wide.lba.lastTrack = 255;
    EXPECT_EQ(rowsOf(wide, seconds).size(), 99u);
}

}  // namespace
}  // namespace tonalda
