// The disc session that front ends hold: the start-up sequence with its per-group failures, the
// rip view's first showing with the library entry, a lookup writing into the rows while the
// owner reads them, and the Status column following a rip's events.

#include "rip/disc_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

#include "cdaccess/cdrom_settings.h"
#include "cdinfo/cddb_client.h"
#include "cdinfo/cddb_test_server.h"
#include "cdinfo/local_library.h"
#include "cdinfo/misc_settings.h"
#include "codecs/codec_test_support.h"
#include "codecs/output_settings.h"
#include "rip/rip_job.h"
#include "rip/rip_job_fixture.h"

namespace tonalda {
namespace {

const std::string kDisc = "gen:seed 44/track audio 300/track audio 260/track audio 200,noaudio";

// Answers at once, and when asked about a successful lookup records the titles the session
// holds at that moment.
class TitleCheckingPrompter final : public Prompter {
  public:
    explicit TitleCheckingPrompter(DiscSession*& session) : session_(session) {}
    PromptAnswer ask(const Prompt& prompt) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(prompt.text);
        if (session_ && prompt.text == "CDDB Query Success.")
            for (int row = 0; row < session_->rowCount(); ++row)
                titlesAtSuccess_.push_back(session_->trackTitle(row));
        return PromptAnswer::Ok;
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    std::vector<std::string> titlesAtSuccess() const {
        std::lock_guard lock(mutex_);
        return titlesAtSuccess_;
    }

  private:
    DiscSession*& session_;
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    std::vector<std::string> titlesAtSuccess_;
};

// The loopback server with an entry for the disc of `identity`: its disc title and track titles.
struct LookupServer {
    LookupServer(const DiscIdentity& identity, const std::string& discTitle,
                 const std::vector<std::string>& titles) {
        char discId[16];
        std::snprintf(discId, sizeof discId, "%08x", identity.discId);
        id = discId;
        fixtures.setQueryReply(id, "200 jazz " + id + " " + discTitle + "\r\n");
        std::string entry = "# xmcd\n# Track frame offsets:\n";
        for (int track = 0; track < identity.trackCount; ++track)
            entry += "# " + std::to_string(identity.frameOffsets[track]) + "\n";
        entry += "# Disc length: " + std::to_string(identity.leadOutSeconds) +
                 "\n# Revision: 0\nDISCID=" + id + "\nDTITLE=" + discTitle + "\n";
        for (std::size_t track = 0; track < titles.size(); ++track)
            entry += "TTITLE" + std::to_string(track) + "=" + titles[track] + "\n";
        fixtures.setEntry(id, entry);
        setenv("TONALDA_CDDB_HOST", "127.0.0.1", 1);
        cddb::resetCddbConfig();
        settings.Port = server.port();
        settings.QueryScript = "/~cddb/cddb.cgi";
        settings.email = "me@example.org";
    }
    ~LookupServer() { unsetenv("TONALDA_CDDB_HOST"); }

    std::string id;
    testing::CddbFixtures fixtures;
    testing::CddbTestServer server{std::ref(fixtures)};
    FreeDbSettings settings;
};

class DiscSessionTest : public test::RipJobTest {
  protected:
    void SetUp() override {
        startEngine(kDisc);
        installDefaults();
        const int failed = DiscSession::loadSettingsGroups(registry_, {});
        ASSERT_EQ(failed, 0);
        cdRomSettings().unit = 0;
        miscSettings().cddbPath = (dir_ / "library").string();
        std::filesystem::create_directories(dir_ / "library");
    }

    std::vector<std::string> titles(const DiscSession& session) const {
        std::vector<std::string> result;
        for (const TrackRow& row : session.rows())
            result.push_back(row.text[kColumnTitle]);
        return result;
    }

    DiscSession* current_ = nullptr;
    TitleCheckingPrompter prompter_{current_};
};

TEST_F(DiscSessionTest, EachSettingsGroupThatCannotBeReadIsReportedInLoadingOrder) {
    // The hive without its OGG and Misc keys.
    std::ifstream in(registry_.file());
    const std::string hive((std::istreambuf_iterator<char>(in)), {});
    const std::regex section(
        R"(\[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\(OGG|Misc)\][^\[]*)");
    test::writeFile(dir_ / "partial.reg", std::regex_replace(hive, section, ""));
    Registry partial(dir_ / "partial.reg");
    std::vector<std::string> failed;
    EXPECT_EQ(DiscSession::loadSettingsGroups(
                  partial, [&](std::string_view group) { failed.emplace_back(group); }),
              2);
    EXPECT_EQ(failed, (std::vector<std::string>{"OGG", "Misc"}));
    // The groups after a failed one were still loaded.
    EXPECT_TRUE(cdRomSettings().load(partial));
}

TEST_F(DiscSessionTest, TheRipViewsFirstShowingBuildsTheListAndReadsTheLibraryEntry) {
    // A library entry for the disc, saved by an earlier session.
    {
        test::JobView view;
        DiscSession earlier(*engine_, registry_, prompter_, view.events());
        ASSERT_EQ(earlier.startEngine(), DriveSearch::Found);
        ASSERT_EQ(earlier.rebuild(), 1);
        EXPECT_FALSE(earlier.readLibrary(false)) << "no entry yet, none made";
        EXPECT_TRUE(std::filesystem::is_empty(dir_ / "library"));
        earlier.readLibrary(true);  // creates the disc's file
        earlier.discInfo().update([](DiscInfo& info) { info.artist = "Saved Artist"; });
        for (int row = 0; row < earlier.rowCount(); ++row)
            earlier.updateRowTag(
                row, [row](TagInfo& tag) { tag.Title1 = "Saved " + std::to_string(row + 1); });
        ASSERT_TRUE(saveLocalLibrary(earlier, dir_ / "library"));
    }

    miscSettings().toc = 0;
    test::JobView view;
    {
        DiscSession notYet(*engine_, registry_, prompter_, view.events());
        EXPECT_EQ(notYet.openRipView(), 0);
        EXPECT_EQ(notYet.rowCount(), 0) << "without TOC the first Refresh builds the list";
    }
    miscSettings().toc = 1;
    miscSettings().autoRead = 1;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    EXPECT_EQ(session.openRipView(), 1);
    EXPECT_EQ(titles(session), (std::vector<std::string>{"Saved 1", "Saved 2", "Saved 3"}));
    EXPECT_EQ(session.discInfo().snapshot().artist, "Saved Artist");
    EXPECT_EQ(session.rowTag(2).Title1, "Saved 3");

    // The view was told what changed, as values, with the session's id.
    std::vector<JobEvent> told;
    for (const JobNotice& notice : view.events().drain()) {
        EXPECT_EQ(notice.job, session.eventId());
        told.push_back(notice.event);
    }
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(std::get<DiscInfoChanged>(told[0]).artist, "Saved Artist");
    EXPECT_EQ(told[3], JobEvent(RowTitleChanged{2, "Saved 3"}));

    // A refresh forgets the disc information and the titles.
    EXPECT_EQ(session.refresh(), 1);
    EXPECT_EQ(session.discInfo().snapshot().artist, " ");
    EXPECT_EQ(titles(session), (std::vector<std::string>{"Track 01", "Track 02", "Track 03"}));
}

TEST_F(DiscSessionTest, ALookupWritesIntoTheRowsWhileTheOwnerReadsThem) {
    test::JobView view;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    current_ = &session;
    ASSERT_EQ(session.startEngine(), DriveSearch::Found);
    ASSERT_EQ(session.rebuild(), 1);
    const auto identity = session.readDiscIdentity();
    ASSERT_TRUE(identity);
    LookupServer lookup(*identity, "Looked Up / Album", {"Uno", "Dos", "Tres"});

    ASSERT_TRUE(session.lookup().start(lookup.settings));
    // The owner reads rows, titles and tags as long as the worker writes them.
    std::size_t reads = 0;
    while (session.lookup().running()) {
        for (const TrackRow& row : session.rows())
            reads += row.text[kColumnTitle].size() + row.item.tag.Title1.size();
        reads += session.discInfo().snapshot().artist.size();
    }
    view.follow(session.lookup());
    EXPECT_GT(reads, 0u);

    EXPECT_EQ(session.lookup().outcome(), cddb::LookupOutcome::Success);
    EXPECT_EQ(titles(session), (std::vector<std::string>{"Uno", "Dos", "Tres"}));
    EXPECT_EQ(session.rowTag(1).Artist1, "Looked Up");
    EXPECT_EQ(session.discInfo().snapshot().genreIndex, 8);
    // The titles were in place before the user was told of the success, and the view got them
    // before the job's end.
    EXPECT_EQ(prompter_.titlesAtSuccess(), (std::vector<std::string>{"Uno", "Dos", "Tres"}));
    std::vector<std::string> outline;
    for (const JobNotice& notice : view.notices()) {
        if (std::holds_alternative<DiscInfoChanged>(notice.event))
            outline.push_back("disc");
        else if (const auto* title = std::get_if<RowTitleChanged>(&notice.event))
            outline.push_back(title->title);
        else if (std::holds_alternative<JobFinished>(notice.event))
            outline.push_back("end");
    }
    EXPECT_EQ(outline, (std::vector<std::string>{"disc", "Uno", "Dos", "Tres", "end"}));
    current_ = nullptr;
}

// A disc looked up with Japanese titles, then ripped to MP3: the readers show the titles whole,
// not the question marks of the ID3v1 tag that the looked-up record fills.
TEST_F(DiscSessionTest, ALookedUpNonLatinDiscRipsToMp3TagsThatReadersShowWhole) {
    test::JobView view;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    ASSERT_EQ(session.startEngine(), DriveSearch::Found);
    ASSERT_EQ(session.rebuild(), 1);
    const auto identity = session.readDiscIdentity();
    ASSERT_TRUE(identity);
    const std::string artist = "\u5c71\u7530 \u592a\u90ce";
    const std::string album = "\u4ea4\u97ff\u66f2\u96c6";
    const std::string title = "\u7b2c\u4e00\u697d\u7ae0";
    LookupServer lookup(*identity, artist + " / " + album, {title, "Dos", "Tres"});
    // The port as a last lookup left it, so that level 6 is asked of this server.
    cddb::setCddbOption(cddb::kOptServerPort, std::nullopt, lookup.server.port());
    ASSERT_TRUE(session.lookup().start(lookup.settings));
    view.follow(session.lookup());
    ASSERT_EQ(session.lookup().outcome(), cddb::LookupOutcome::Success);

    session.setChecked(0, true);
    options_.format = 1;
    options_.fileNameRule = 1;  // <Title>
    options_.subFolderRule = 0;
    RipJob job(*engine_, registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(session.handle(), session.takeRipQueue(options_.fileNameRule), options_));
    view.follow(job);
    ASSERT_TRUE(job.succeeded());
    const auto mp3 = dir_ / "rip" / (title + ".mp3");
    ASSERT_TRUE(std::filesystem::exists(mp3));

    const auto mutagen = test::runCommand(
        "/usr/bin/python3 " TONALDA_SOURCE_DIR "/tests/codecs/read_id3.py " + test::quoted(mp3));
    EXPECT_NE(mutagen.output.find("v2\tTIT2\t" + title + "\n"), std::string::npos)
        << mutagen.output;
    EXPECT_NE(mutagen.output.find("v2\tTPE1\t" + artist + "\n"), std::string::npos);
    EXPECT_NE(mutagen.output.find("v2\tTALB\t" + album + "\n"), std::string::npos);
    auto probed = test::probe(mp3);
    EXPECT_EQ(probed["TAG:title"], title);
    EXPECT_EQ(probed["TAG:artist"], artist);
    EXPECT_EQ(probed["TAG:album"], album);
}

TEST_F(DiscSessionTest, TheStatusColumnFollowsARipsEvents) {
    test::JobView view;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    ASSERT_EQ(session.startEngine(), DriveSearch::Found);
    ASSERT_EQ(session.rebuild(), 1);
    session.setChecked(0, true);
    session.setChecked(2, true);
    options_.format = 0;
    options_.fileNameRule = 1;  // <Title>
    const std::vector<TrackItem> queue = session.takeRipQueue(options_.fileNameRule);
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[1].row, 2);
    EXPECT_EQ(queue[1].baseName, "Track 03");
    EXPECT_EQ(session.columnText(2, kColumnStatus), "Waiting");
    EXPECT_EQ(session.columnText(1, kColumnStatus), "");

    RipJob job(*engine_, registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(session.handle(), queue, options_));
    view.setHandler([&](const JobNotice& notice) { session.apply(notice); });
    view.follow(job);
    EXPECT_EQ(session.columnText(0, kColumnStatus), "Extracted");
    EXPECT_EQ(session.columnText(2, kColumnStatus), "Extracted");
    EXPECT_TRUE(session.item(2).done);
    EXPECT_FALSE(session.item(1).done);
}

TEST_F(DiscSessionTest, ADiscTakenOutOrPutBackIsNoticedBeforeTheRowsAreUsed) {
    test::JobView view;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    EXPECT_TRUE(session.discUnchanged()) << "no rows yet, nothing to protect";
    ASSERT_EQ(session.ensureEngine(), DriveSearch::Found);
    EXPECT_EQ(session.ensureEngine(), DriveSearch::Found);
    EXPECT_EQ(session.selectedDriveDescription(), driveDescription(drives_, 0));
    ASSERT_EQ(session.rebuild(), 1);
    EXPECT_EQ(session.leadOutFrame(), 760u);
    EXPECT_TRUE(session.discUnchanged());

    // START STOP UNIT: out goes the tray, then it comes back with the disc.
    const auto tray = [&](bool load) {
        ScsiCommand command;
        command.cdb = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(load ? 0x03 : 0x02)};
        command.cdbLength = 6;
        ASSERT_EQ(engine_->executeScsi(drives_.drives[0].address(), command), 1);
    };
    tray(false);
    EXPECT_FALSE(session.discUnchanged());
    EXPECT_EQ(session.refresh(), 0);
    EXPECT_EQ(session.leadOutFrame(), 0u);
    EXPECT_TRUE(session.discUnchanged()) << "an empty list has no rows to protect";
    tray(true);
    // The drive reports the loaded disc once; the refresh reads on past that.
    EXPECT_EQ(session.refresh(), 1);
    EXPECT_EQ(session.rowCount(), 3);
    EXPECT_TRUE(session.discUnchanged());
}

TEST_F(DiscSessionTest, SavingToTheLibraryMakesTheDiscsFileWhenItIsMissing) {
    test::JobView view;
    DiscSession session(*engine_, registry_, prompter_, view.events());
    EXPECT_FALSE(session.saveLibrary()) << "no disc read yet";
    ASSERT_EQ(session.startEngine(), DriveSearch::Found);
    ASSERT_EQ(session.rebuild(), 1);
    const auto file = libraryFilePath(session.libraryFolder(), session.readPlayerKey());
    ASSERT_FALSE(std::filesystem::exists(file));
    session.discInfo().update([](DiscInfo& info) { info.artist = "Kept Artist"; });
    session.updateRowTag(1, [](TagInfo& tag) { tag.Title1 = "Kept Title"; });
    EXPECT_TRUE(session.saveLibrary());
    const std::string saved = test::readFile(file);
    EXPECT_NE(saved.find("artist=Kept Artist"), std::string::npos);
    EXPECT_NE(saved.find("2=Kept Title"), std::string::npos);
}

}  // namespace
}  // namespace tonalda
