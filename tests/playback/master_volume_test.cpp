// The master volume against a real sound server, read back with pactl.

#include "playback/master_volume.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <condition_variable>
#include <mutex>

#include "playback_support.h"
#include "support/temp_dir.h"

namespace tonalda::test {
namespace {

using namespace std::chrono_literals;
using Volumes = std::vector<long>;

class MasterVolumeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.pactl("set-sink-volume t 100%");
        server_.pactl("set-sink-mute t 0");
    }
    PulseServer& server_ = soundServer();
};

TEST_F(MasterVolumeTest, SliderReleasedAtTheTopOrBottomSetsTheOutputToFullOrNothing) {
    MasterVolume volume;
    ASSERT_TRUE(volume.isAvailable()) << volume.unavailableReason();
    EXPECT_GT(volume.getSteps(), 1) << "the output's volume steps were not read";

    applyVolumeSliderRelease(volume, 10000);
    EXPECT_EQ(server_.sinkVolumes(), (Volumes{0, 0}));
    EXPECT_EQ(volume.getVolume(), 0);
    EXPECT_EQ(startupVolumeSliderPosition(volume), 10000);

    server_.pactl("set-sink-mute t 1");
    applyVolumeSliderRelease(volume, 0);
    EXPECT_EQ(server_.sinkVolumes(), (Volumes{65536, 65536}));  // 100 %
    EXPECT_FALSE(server_.sinkMuted()) << "a volume change unmutes the output";
    EXPECT_EQ(volume.getVolume(), 65535);
    EXPECT_EQ(startupVolumeSliderPosition(volume), 0);

    // Half way: the slider comes back where it was released, within the rounding of the scales.
    applyVolumeSliderRelease(volume, 5000);
    for (const long half : server_.sinkVolumes())
        EXPECT_NEAR(half, 32768, 1);
    EXPECT_NEAR(startupVolumeSliderPosition(volume), 5000, 1);
}

TEST_F(MasterVolumeTest, StartUpUnmutesAndReadsWhereTheOutputStands) {
    server_.pactl("set-sink-volume t 25%");
    server_.pactl("set-sink-mute t 1");
    MasterVolume volume;
    EXPECT_NEAR(startupVolumeSliderPosition(volume), 7500, 1);
    EXPECT_FALSE(server_.sinkMuted());
    volume.mute();
    EXPECT_TRUE(server_.sinkMuted());
    // Amplification above the output's norm reads as full volume.
    server_.pactl("set-sink-volume t 150%");
    EXPECT_EQ(volume.getVolume(), 65535);
}

TEST_F(MasterVolumeTest, ChannelsAreReadAndSetOneByOneAndBadValuesChangeNothing) {
    MasterVolume volume;
    volume.setChannelVolumes({65535, 16384});
    EXPECT_EQ(server_.sinkVolumes(), (Volumes{65536, 16384}));
    EXPECT_EQ(volume.getChannelVolumes(), (std::vector<std::int32_t>{65535, 16384}));
    EXPECT_EQ(volume.getVolume(), 65535) << "the volume is the first channel's";

    volume.setChannelVolumes({100});         // one channel short
    volume.setChannelVolumes({100, 65536});  // above the maximum
    volume.setVolume(-5);
    volume.setVolume(70000);
    EXPECT_EQ(server_.sinkVolumes(), (Volumes{65536, 16384}));
    volume.setVolume(0);
    EXPECT_EQ(server_.sinkVolumes(), (Volumes{0, 0}));
}

TEST_F(MasterVolumeTest, VolumeSetElsewhereIsReportedToTheCallback) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::int32_t> reported;
    MasterVolume volume;
    volume.setChangeCallback([&](std::int32_t value) {
        const std::lock_guard lock(mutex);
        reported.push_back(value);
        changed.notify_all();
    });
    auto waitFor = [&](std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return reported.size() >= count; });
    };

    server_.pactl("set-sink-volume t 50%");
    ASSERT_TRUE(waitFor(1)) << "no change was reported";
    EXPECT_EQ(reported[0], 32768);
    EXPECT_NEAR(volumeSliderPosition(reported[0]), 5000, 1);

    // Another output becoming the default one is a change of the master volume too.
    const std::string module = server_.pactl("load-module module-null-sink sink_name=quiet");
    server_.pactl("set-sink-volume quiet 10%");
    server_.pactl("set-default-sink quiet");
    ASSERT_TRUE(waitFor(2));
    EXPECT_NEAR(reported[1], 6554, 1);
    server_.pactl("set-default-sink t");
    server_.pactl("unload-module " + module);
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(reported[2], 32768);
}

// Every sink of the server has a volume that can be set, so an output without a volume control is
// a server without any output: nothing is available, the slider stays at the bottom and moving
// it changes nothing.
TEST(MasterVolumeWithoutOutputTest, ServerWithoutOutputLeavesTheSliderAtTheBottom) {
    PulseServer server(false);
    MasterVolume volume;
    EXPECT_FALSE(volume.isAvailable());
    EXPECT_FALSE(volume.unavailableReason().empty());
    EXPECT_EQ(volume.getVolume(), -1);
    EXPECT_EQ(startupVolumeSliderPosition(volume), 10000);
    applyVolumeSliderRelease(volume, 0);
    EXPECT_EQ(server.pactl("list short sinks"), "");
}

// A server that accepts the connection and then never answers.
class SilentServer {
  public:
    explicit SilentServer(const std::filesystem::path& path) {
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(socket_, 4) != 0)
            throw std::runtime_error("cannot listen on " + path.string());
    }
    ~SilentServer() { ::close(socket_); }

  private:
    int socket_ = -1;
};

TEST(MasterVolumeWithoutServerTest, NoServerOrOneThatNeverAnswersLeavesNothingAvailable) {
    TempDir dir;
    {
        const ScopedPulseServer nowhere("unix:" + (dir / "none").string());
        MasterVolume volume;
        EXPECT_FALSE(volume.isAvailable());
        EXPECT_EQ(volume.unavailableReason(), "Sound server unavailable: Connection refused");
    }
    const SilentServer silent(dir / "silent");
    const ScopedPulseServer hanging("unix:" + (dir / "silent").string());
    MasterVolume volume(200ms);
    EXPECT_FALSE(volume.isAvailable());
    EXPECT_EQ(volume.unavailableReason(), "Sound server unavailable: Timeout");
    const SoundServerStatus status = probeSoundServer(200ms);
    EXPECT_FALSE(status.available);
    EXPECT_EQ(status.reason, "Sound server unavailable: Timeout");
}

}  // namespace
}  // namespace tonalda::test
