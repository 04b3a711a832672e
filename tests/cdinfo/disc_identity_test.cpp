// Disc ID, frame offsets, disc length and player key, checked against libdiscid's FreeDB IDs.

#include "cdinfo/disc_identity.h"

#include <discid/discid.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "cdinfo/disc_info.h"
#include "cdinfo/toc_builder.h"

namespace tonalda {
namespace {

using test::makeMsfToc;
using test::TocTrack;

std::string hexId(std::uint32_t discId) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", discId);
    return text;
}

// libdiscid's FreeDB ID of the same tracks numbered from 1, or "refused: " and the reason
// when it refuses the table. (libdiscid measures the length from track 1 whatever the first track
// number is; CDDB measures it from the first track, so the comparison numbers the tracks from 1.)
std::string libdiscidFreedbId(const std::vector<TocTrack>& tracks, std::uint32_t leadOutLba) {
    const int first = 1;
    std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    int offsets[100] = {};
    offsets[0] = static_cast<int>(leadOutLba) + kLeadInFrames;
    for (std::size_t k = 0; k < tracks.size(); ++k)
        offsets[first + static_cast<int>(k)] = static_cast<int>(tracks[k].lba) + kLeadInFrames;
    const int last = first + static_cast<int>(tracks.size()) - 1;
    if (!discid_put(disc.get(), first, last, offsets))
        return std::string("refused: ") + discid_get_error_msg(disc.get());
    return discid_get_freedb_id(disc.get());
}

TEST(DiscIdentity, WorkedExample) {
    DiscToc toc = makeMsfToc(1, {{0}, {0}}, 0);
    test::setMsf(toc.tracks[0], 0, 2, 0);
    test::setMsf(toc.tracks[1], 3, 10, 20);
    test::setMsf(toc.tracks[2], 6, 0, 0);

    const DiscIdentity identity = computeDiscIdentityFromToc(toc);
    EXPECT_EQ(identity.discId, 0x0C016602u);
    EXPECT_EQ(hexId(identity.discId), "0c016602");
    EXPECT_EQ(identity.trackCount, 2);
    EXPECT_EQ(identity.frameOffsets[0], 150);
    EXPECT_EQ(identity.frameOffsets[1], 14270);
    EXPECT_EQ(identity.leadOutSeconds, 360);
    EXPECT_EQ(computePlayerKeyFromToc(toc), 0x30C14u);
    EXPECT_EQ(playerKeyText(computePlayerKeyFromToc(toc)), "30C14");
}

TEST(DiscIdentity, DigitSum) {
    EXPECT_EQ(digitSum(190), 10u);
    EXPECT_EQ(digitSum(0), 0u);
    EXPECT_EQ(digitSum(4294967295u), 4u + 2 + 9 + 4 + 9 + 6 + 7 + 2 + 9 + 5);
}

TEST(DiscIdentity, EqualsLibdiscidFreedbIdForRandomTables) {
    std::mt19937 random(20261208);
    int compared = 0;
    for (int round = 0; round < 400; ++round) {
        const int count = std::uniform_int_distribution<int>(1, 99)(random);
        const int first =
            round % 4 == 0 ? std::uniform_int_distribution<int>(1, 100 - count)(random) : 1;
        std::vector<TocTrack> tracks;
        std::uint32_t lba = std::uniform_int_distribution<std::uint32_t>(0, 400)(random);
        for (int k = 0; k < count; ++k) {
            // Data tracks ahead of or behind the audio, as on mixed-mode and Enhanced CDs.
            const bool data = (k == 0 && round % 5 == 1) || (k == count - 1 && round % 5 == 2);
            tracks.push_back({lba, data});
            // At most 80 minutes in all: libdiscid refuses longer discs.
            const auto longest = 355000 / static_cast<std::uint32_t>(count);
            lba += std::uniform_int_distribution<std::uint32_t>(300, longest)(random);
        }
        const DiscToc toc = makeMsfToc(first, tracks, lba);
        const std::string expected = libdiscidFreedbId(tracks, lba);
        ASSERT_EQ(expected.find("refused"), std::string::npos) << expected << " round " << round;
        const DiscIdentity identity = computeDiscIdentityFromToc(toc);
        ASSERT_EQ(hexId(identity.discId), expected) << "round " << round;
        ASSERT_EQ(identity.trackCount, count);
        ASSERT_EQ(identity.frameOffsets[static_cast<std::size_t>(count - 1)],
                  static_cast<int>(tracks.back().lba) + kLeadInFrames);
        ASSERT_EQ(identity.leadOutSeconds, static_cast<int>((lba + kLeadInFrames) / 75));
        ++compared;
    }
    EXPECT_EQ(compared, 400);
}

TEST(DiscIdentity, DataTracksCountForTheIdButNotForThePlayerKey) {
    // An audio track followed by a data track.
    const DiscToc enhanced = makeMsfToc(1, {{0}, {20000, true}}, 40000);
    const DiscIdentity identity = computeDiscIdentityFromToc(enhanced);
    EXPECT_EQ(identity.trackCount, 2);
    EXPECT_EQ(identity.discId & 0xFF, 2u);
    EXPECT_EQ(computePlayerKeyFromToc(enhanced), 0x000200u);

    // A data track ahead of the audio.
    const DiscToc mixed = makeMsfToc(1, {{0, true}, {20000}}, 40000);
    EXPECT_EQ(computeDiscIdentityFromToc(mixed).trackCount, 2);
    EXPECT_EQ(computePlayerKeyFromToc(mixed), enhanced.tracks[1].lba());
}

TEST(DiscIdentity, OneTrackDiscAndLongDiscs) {
    // 00:02:00 gives 2 seconds, digit sum 2.
    const DiscToc single = makeMsfToc(1, {{0}}, 75 * 300);
    const DiscIdentity one = computeDiscIdentityFromToc(single);
    EXPECT_EQ(one.trackCount, 1);
    EXPECT_EQ(one.discId >> 24, 2u);
    EXPECT_EQ((one.discId >> 8) & 0xFFFF, 300u);

    // A lead-out in minute 99 still fits the length field.
    DiscToc longDisc = makeMsfToc(1, {{0}}, 0);
    test::setMsf(longDisc.tracks[1], 99, 30, 0);
    const DiscIdentity identity = computeDiscIdentityFromToc(longDisc);
    EXPECT_EQ(identity.leadOutSeconds, 5970);
    EXPECT_EQ(identity.discId, (2u << 24) | (5968u << 8) | 1u);
}

TEST(DiscIdentity, ZeroedOrBrokenTablesStayInsideTheReply) {
    DiscToc zeroed;
    std::memset(&zeroed, 0, sizeof zeroed);
    EXPECT_EQ(computePlayerKeyFromToc(zeroed), 0u);
    EXPECT_EQ(computeDiscIdentityFromToc(zeroed).trackCount, 1);

    // Reversed and over-wide track numbers are clamped instead of reading past the descriptors.
    DiscToc reversed = zeroed;
    reversed.firstTrack = 9;
    reversed.lastTrack = 2;
    EXPECT_EQ(computeDiscIdentityFromToc(reversed).trackCount, 0);
    EXPECT_EQ(computePlayerKeyFromToc(reversed), 0u);

    DiscToc wide = zeroed;
    wide.firstTrack = 0;
    wide.lastTrack = 255;
    for (auto& descriptor : wide.tracks)
        test::setMsf(descriptor, 1, 0, 0);
    const DiscIdentity identity = computeDiscIdentityFromToc(wide);
    EXPECT_EQ(identity.trackCount, 99);
    EXPECT_EQ(identity.leadOutSeconds, 60);
}

TEST(DiscInfoRecord, RefreshLeavesSpacesAndNoGenre) {
    SharedDiscInfo shared;
    shared.update([](DiscInfo& info) {
        info.artist = "Artist";
        info.album = "Album";
        info.genreIndex = 5;
        info.infoPresent = true;
    });
    shared.resetAfterRefresh();
    const DiscInfo info = shared.snapshot();
    EXPECT_EQ(info.artist, " ");
    EXPECT_EQ(info.album, " ");
    EXPECT_EQ(info.genreIndex, -1);
    EXPECT_TRUE(info.infoPresent);
}

}  // namespace
}  // namespace tonalda
