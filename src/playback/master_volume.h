#pragma once
// The system's master volume: the volume and mute of the sound server's default output, on a
// 0..65535 scale (65535 = the output's full volume without amplification), and the volume
// slider's mapping onto it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playback/pulse_connection.h"

struct pa_context;
struct pa_sink_info;

namespace tonalda {

// Thread: any thread but the sound server's event thread (on which the change callback runs).
class MasterVolume {
  public:
    // Receives the new volume (0..65535) of the first channel. Runs on the sound server's event
    // thread: it must not block nor call back into this object (hand the value on instead).
    using ChangeCallback = std::function<void(std::int32_t volume)>;

    // Connects and looks up the default output. Failure is silent: the object is then not
    // available, reports -1 and changes nothing; unavailableReason() says why.
    explicit MasterVolume(std::chrono::milliseconds timeout = kSoundServerTimeout);
    // No change callback runs after it returns.
    ~MasterVolume();
    MasterVolume(const MasterVolume&) = delete;
    MasterVolume& operator=(const MasterVolume&) = delete;

    bool isAvailable() const { return available_; }
    // Why the volume cannot be set, for a tooltip; empty when available.
    const std::string& unavailableReason() const { return reason_; }

    void unmute();
    void mute();
    // -1 each when not available.
    std::int32_t getSteps() const { return available_ ? steps_ : -1; }
    std::int32_t getMinimum() const { return available_ ? 0 : -1; }
    std::int32_t getMaximum() const { return available_ ? kMaximum : -1; }
    // The first channel's volume; -1 when not available or the output cannot be read.
    std::int32_t getVolume();
    // Sets every channel; a value outside minimum..maximum changes nothing.
    void setVolume(std::int32_t volume);
    // One volume per channel of the output, in its channel order; empty when unavailable.
    std::vector<std::int32_t> getChannelVolumes();
    // Needs one value per channel, each within minimum..maximum; otherwise nothing changes.
    void setChannelVolumes(const std::vector<std::int32_t>& volumes);
    // Called whenever the output's volume changes, by this program or any other (a desktop
    // mixer, pactl), and when another output becomes the default one.
    void setChangeCallback(ChangeCallback callback);

    static constexpr std::int32_t kMaximum = 65535;

  private:
    struct SinkState;
    // With the lock held.
    bool readSink(SinkState& state) const;
    bool setMute(bool mute);
    // The first value for every channel, or one value per channel.
    void writeVolumes(const std::vector<std::int32_t>& volumes, bool everyChannel);
    void subscribe();
    void onEvent(unsigned eventType, std::uint32_t index);
    void onSinkInfo(const pa_sink_info* info);

    std::unique_ptr<PulseConnection> connection_;
    std::chrono::milliseconds timeout_;
    bool available_ = false;
    std::string reason_;
    std::int32_t steps_ = -1;
    // Event thread state, under the lock.
    std::uint32_t sinkIndex_ = 0;
    std::int32_t lastVolume_ = -1;
    ChangeCallback callback_;
};

// Slider positions run 0..10000 with the top (0) at full volume.
inline constexpr int kVolumeSliderRange = 10000;

// Where the slider stands for a volume: 10000 - v * 0.15259021896696423, truncated; a volume of -1
// (none to read) puts it at 10000, the bottom.
int volumeSliderPosition(std::int32_t volume);
// The volume a slider position sets: (10000 - position) * 6.5535, truncated.
std::int32_t volumeAtSliderPosition(int position);

// At start-up: unmutes the output and returns where the slider starts.
int startupVolumeSliderPosition(MasterVolume& volume);
// The slider's thumb was released at a position: unmutes the output and sets its volume.
void applyVolumeSliderRelease(MasterVolume& volume, int position);

}  // namespace tonalda
