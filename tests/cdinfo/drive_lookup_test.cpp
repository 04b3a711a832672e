// A lookup and the local library for the disc in a (virtual) drive, through the headless view
// that the command-line front end uses.

#include <gtest/gtest.h>

#include "cdinfo/cddb_client.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/cddb_test_server.h"
#include "cdinfo/disc_info.h"
#include "cdinfo/headless_disc_view.h"
#include "cdinfo/local_library.h"
#include "support/vdrive_fixture.h"

namespace tonalda {
namespace {

// The worked-example disc: tracks at 00:02:00 and 03:10:20, lead-out at 06:00:00.
constexpr const char* kExampleDrive = "gen:track audio 14120/track audio 12730,noaudio";

class DriveLookupTest : public test::VirtualDriveTest {};

TEST_F(DriveLookupTest, TheDiscInTheDriveIsLookedUpAndKeptInTheLibrary) {
    startEngine(kExampleDrive);
    ASSERT_EQ(drives_.count, 1);
    CdEngine& engine = *engine_;
    CdHandleRequest request;
    request.adapter = drives_.drives[0].adapter;
    request.target = drives_.drives[0].target;
    request.lun = drives_.drives[0].lun;
    const int handle = engine.getCDHandle(&request);
    ASSERT_GT(handle, 0);
    DiscToc toc{};
    engine.setCdOption(handle, kCdOptionMsf, 1);
    ASSERT_EQ(engine.readTOC(handle, toc), 1);

    testing::CddbFixtures fixtures;
    fixtures.setQueryReply("0c016602", "200 jazz 0c016602 Drive Artist / Drive Album\r\n");
    fixtures.setEntry(
        "0c016602",
        "# Track frame offsets:\n# 150\n# 14270\n# Disc length: 360\n# Revision: 0\n"
        "DISCID=0c016602\nDTITLE=Drive Artist / Drive Album\nTTITLE0=Uno\nTTITLE1=Dos\n");
    testing::CddbTestServer server(std::ref(fixtures));
    setenv("TONALDA_CDDB_HOST", "127.0.0.1", 1);
    cddb::resetCddbConfig();
    FreeDbSettings settings;
    settings.Port = server.port();
    settings.QueryScript = "/~cddb/cddb.cgi";
    settings.email = "me@example.org";

    RecordingPrompter prompter;
    HeadlessDiscView view(toc, prompter, driveIdentityReader(engine, handle),
                          drivePlayerKeyReader(engine, handle));
    EXPECT_EQ(cddb::runCddbLookup(view, settings), cddb::LookupOutcome::Success);
    unsetenv("TONALDA_CDDB_HOST");
    EXPECT_EQ(server.requests().back().command(), "cddb read jazz 0c016602");
    EXPECT_EQ(view.discInfo().snapshot().artist, "Drive Artist");
    EXPECT_EQ(view.titles(), (std::vector<std::string>{"Uno", "Dos"}));

    // The library file is named after the drive's player key.
    readLocalLibrary(view, dir_.path());
    ASSERT_TRUE(saveLocalLibrary(view, dir_.path()));
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "30C14.cdb"));
    engine.closeCDHandle(handle);
}

}  // namespace
}  // namespace tonalda
