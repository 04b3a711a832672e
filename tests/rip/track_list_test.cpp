// The track list rebuilt from generated discs through the virtual drive, and the disc identity
// read from the same drive session.

#include "rip/track_list.h"

#include <gtest/gtest.h>

#include "cdaccess/cdrom_settings.h"
#include "cdinfo/disc_identity.h"
#include "cdinfo/disc_info.h"
#include "support/vdrive_fixture.h"

namespace tonalda {
namespace {

// Drive 0: twelve audio tracks; track 1 ends at 04:07:70 and track 2 has 18000 frames.
// Drive 1: an Enhanced CD, two audio tracks and a data track. Drive 2: no disc.
const std::string kDrives =
    "gen:seed 3/track audio 18445/track audio 18000/track audio 0:10/track audio 0:10"
    "/track audio 0:10/track audio 0:10/track audio 0:10/track audio 0:10/track audio 0:10"
    "/track audio 0:10/track audio 0:10/track audio 0:10,noaudio;"
    "gen:seed 4/track audio 1:00/track audio 5:00/track data 2:00,noaudio;"
    "gen:track audio 0:10,nodisc,noaudio";

class TrackListTest : public test::VirtualDriveTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 3);
        settings_.never = 1;
        settings_.jitterCheck = 1;
        settings_.overlap = 3;
        settings_.speed = 6;
    }

    int rebuildUnit(TrackList& list, int unit, std::int32_t format = 0) {
        settings_.unit = unit;
        return list.rebuild(drives_, settings_, format);
    }

    const DriveSession& session(const TrackList& list) const {
        return engine_->sessionTable()->slots[list.sessionHandle() - 1];
    }

    CdRomSettings settings_;
};

TEST_F(TrackListTest, GeneratedDiscShowsItsTracksWithTimeSizeAndOutput) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 0, 3), 1);
    EXPECT_EQ(list.discReady(), 1);
    EXPECT_TRUE(list.enabled());
    EXPECT_EQ(list.emptyListText(), "");
    ASSERT_EQ(list.rowCount(), 12);
    for (int row = 0; row < 12; ++row) {
        char title[24];  // room for any int, as the compiler checks at every level
        std::snprintf(title, sizeof title, "Track %02d", row + 1);
        EXPECT_EQ(list.columnText(row, kColumnTitle), title);
        EXPECT_EQ(list.columnText(row, kColumnOutput), "Ogg Vorbis");
        EXPECT_EQ(list.item(row).tag.Track1, std::to_string(row + 1));
        EXPECT_FALSE(list.isChecked(row));
        EXPECT_EQ(list.trackNumberOfRow(row), row + 1);
    }
    // 00:02:00 to 04:07:70: the frames are ignored.
    EXPECT_EQ(list.columnText(0, kColumnTime), "04:05");
    EXPECT_EQ(list.trackSeconds(1), 245);
    EXPECT_EQ(list.item(1).startFrame, 18445u);
    EXPECT_EQ(list.item(1).frameCount, 18000u);
    EXPECT_EQ(list.columnText(1, kColumnSize), "40.37 MB");
    EXPECT_EQ(list.trackSeconds(3), 10);

    // Both copies of the table were read, and the session is left with the options applied.
    EXPECT_EQ(list.lbaToc().tracks[1].lba(), 18445u);
    EXPECT_EQ(list.msfToc().tracks[1].address[1], 4);
    EXPECT_EQ(session(list).msfAddressing, 1u);
    EXPECT_EQ(session(list).jitterMode, 0u);
    EXPECT_EQ(session(list).jitterCheckFrames, 1u);
    EXPECT_EQ(session(list).overlapFrames, 3u);
}

TEST_F(TrackListTest, EnhancedCdReducesTheLastAudioTrackOnly) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 1), 1);
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.item(0).frameCount, 4500u);
    EXPECT_EQ(list.item(1).frameCount, 22500u - kSessionGapFrames);
    EXPECT_EQ(list.columnText(1, kColumnTime), "05:00");
    EXPECT_EQ(list.columnText(1, kColumnSize), sizeText(22500ull * 2352));
    EXPECT_EQ(list.columnText(2, kColumnTitle), "Track 03");
    EXPECT_EQ(list.item(2).frameCount, 9000u);
}

TEST_F(TrackListTest, JitterOptionsFollowTheSettingsInOrder) {
    TrackList list(*engine_);
    settings_.never = 0;
    settings_.always = 1;
    settings_.jitterCheck = 2;
    settings_.overlap = 5;
    ASSERT_EQ(rebuildUnit(list, 0), 1);
    EXPECT_EQ(session(list).jitterMode, 1u);
    EXPECT_EQ(session(list).jitterCheckFrames, 2u);
    EXPECT_EQ(session(list).overlapFrames, 5u);

    settings_.always = 0;
    settings_.onError = 1;
    ASSERT_EQ(rebuildUnit(list, 0), 1);
    EXPECT_EQ(session(list).jitterMode, 2u);

    settings_.never = 1;  // set after "On Error": it wins
    ASSERT_EQ(rebuildUnit(list, 0), 1);
    EXPECT_EQ(session(list).jitterMode, 0u);
}

TEST_F(TrackListTest, ChecksHeaderToggleAndRefresh) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 0), 1);
    list.checkAll();
    EXPECT_TRUE(list.isChecked(5));
    EXPECT_TRUE(list.headerChecked());
    EXPECT_FALSE(list.allChecked());  // the menu commands leave the toggle state alone

    list.toggleHeader();  // toggle was clear: checks every row
    EXPECT_TRUE(list.allChecked());
    EXPECT_TRUE(list.isChecked(11));
    list.setChecked(3, false);
    list.toggleHeader();
    EXPECT_FALSE(list.allChecked());
    EXPECT_FALSE(list.headerChecked());
    for (int row = 0; row < list.rowCount(); ++row)
        EXPECT_FALSE(list.isChecked(row));

    list.toggleHeader();
    list.clear();
    EXPECT_FALSE(list.isChecked(0));
    EXPECT_FALSE(list.headerChecked());
    EXPECT_TRUE(list.allChecked());

    // A refresh while rows are checked leaves every row unchecked and forgets the disc fields.
    list.checkAll();
    SharedDiscInfo disc;
    disc.update([](DiscInfo& info) {
        info.artist = "Artist";
        info.genreIndex = 3;
    });
    settings_.unit = 0;
    ASSERT_EQ(list.refresh(drives_, settings_, 0, disc), 1);
    for (int row = 0; row < list.rowCount(); ++row)
        EXPECT_FALSE(list.isChecked(row));
    EXPECT_FALSE(list.headerChecked());
    EXPECT_FALSE(list.allChecked());
    EXPECT_EQ(disc.snapshot().artist, " ");
    EXPECT_EQ(disc.snapshot().album, " ");
    EXPECT_EQ(disc.snapshot().genreIndex, -1);
    // The refresh closed the old session before opening the new one.
    int open = 0;
    for (const DriveSession& slot : engine_->sessionTable()->slots)
        open += slot.inUse != 0;
    EXPECT_EQ(open, 1);
}

TEST_F(TrackListTest, DiscFieldsAndOutputFormatReachEveryRow) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 1), 1);
    list.item(0).tag.Artist1 = "From CDDB";
    list.item(0).tag.Title2 = "kept";
    list.applyDiscFields("Disc artist", "Disc album", 32);
    for (int row = 0; row < list.rowCount(); ++row) {
        EXPECT_EQ(list.item(row).tag.Artist1, "Disc artist");
        EXPECT_EQ(list.item(row).tag.Album1, "Disc album");
        EXPECT_EQ(list.item(row).tag.Genre1, 32);
    }
    EXPECT_EQ(list.item(0).tag.Title2, "kept");
    EXPECT_EQ(list.item(0).tag.Title1, "Track 01");

    list.setOutputFormat(1);
    EXPECT_EQ(list.columnText(2, kColumnOutput), "MP3 File");
}

TEST_F(TrackListTest, NoDiscAndNoDriveLeaveAnEmptyDisabledList) {
    TrackList list(*engine_);
    EXPECT_EQ(list.listState(), 1);
    EXPECT_EQ(list.emptyListText(), "");

    ASSERT_EQ(rebuildUnit(list, 0), 1);
    list.checkAll();
    EXPECT_EQ(rebuildUnit(list, 2), 0);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_FALSE(list.enabled());
    EXPECT_EQ(list.emptyListText(), "Please   Insert   An   Audio CD!");
    list.toggleHeader();
    EXPECT_FALSE(list.allChecked());

    EXPECT_EQ(rebuildUnit(list, 7), -1);
    EXPECT_EQ(list.discReady(), -1);
    EXPECT_EQ(list.sessionHandle(), 0);
    EXPECT_EQ(list.emptyListText(), "Initialize CD-ROM error!");

    ASSERT_EQ(rebuildUnit(list, 0), 1);
    EXPECT_TRUE(list.enabled());
}

TEST_F(TrackListTest, DiscIdentityFromTheSessionMatchesTheTableAndKeepsTheAddressMode) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 1), 1);
    const int handle = list.sessionHandle();
    engine_->setCdOption(handle, kCdOptionMsf, 0);

    DiscIdentity identity;
    ASSERT_EQ(computeDiscIdentity(*engine_, handle, identity), 1);
    EXPECT_EQ(identity, computeDiscIdentityFromToc(list.msfToc()));
    EXPECT_EQ(identity.trackCount, 3);
    EXPECT_EQ(identity.frameOffsets[1], 4500 + 150);
    EXPECT_EQ(session(list).msfAddressing, 0u);

    // The data track adds nothing to the player key.
    const std::uint32_t key = computePlayerKey(*engine_, handle);
    EXPECT_EQ(key, 0x000200u + 0x010200u);
    EXPECT_EQ(session(list).msfAddressing, 1u);

    engine_->getLastCdError();
    EXPECT_EQ(computeDiscIdentity(*engine_, 17, identity), 4);
    EXPECT_EQ(engine_->getLastCdError(), kCdErrInvalidHandle);
}

TEST_F(TrackListTest, DiscIdentityOfAnUnreadableDiscIsAFailure) {
    TrackList list(*engine_);
    ASSERT_EQ(rebuildUnit(list, 2), 0);
    DiscIdentity identity;
    identity.discId = 0x12345678;
    EXPECT_EQ(computeDiscIdentity(*engine_, list.sessionHandle(), identity), 4);
    EXPECT_EQ(identity.discId, 0x12345678u);
    EXPECT_EQ(computePlayerKey(*engine_, list.sessionHandle()), 0u);
}

}  // namespace
}  // namespace tonalda
