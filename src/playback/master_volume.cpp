#include "playback/master_volume.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace tonalda {

namespace {

constexpr const char* kDefaultOutput = "@DEFAULT_SINK@";

// 0..65535 onto the server's 0..PA_VOLUME_NORM and back, rounded; amplification above the
// norm reads as full volume.
pa_volume_t toServerVolume(std::int32_t volume) {
    return static_cast<pa_volume_t>(
        (std::uint64_t(volume) * PA_VOLUME_NORM + MasterVolume::kMaximum / 2) /
        MasterVolume::kMaximum);
}

std::int32_t fromServerVolume(pa_volume_t volume) {
    const std::uint64_t scaled =
        (std::uint64_t(volume) * MasterVolume::kMaximum + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<std::int32_t>(std::min<std::uint64_t>(scaled, MasterVolume::kMaximum));
}

}  // namespace

struct MasterVolume::SinkState {
    bool found = false;
    std::uint32_t index = 0;
    pa_cvolume volume{};
    std::uint32_t steps = 0;
};

MasterVolume::MasterVolume(std::chrono::milliseconds timeout) : timeout_(timeout) {
    auto connection = std::make_unique<PulseConnection>("Tonalda volume", timeout);
    if (!connection->ready()) {
        reason_ = connection->failure();
        return;
    }
    connection_ = std::move(connection);
    const PulseConnection::Lock lock(*connection_);
    SinkState sink;
    if (!readSink(sink)) {
        reason_ = "The sound server has no default output whose volume could be set";
        return;
    }
    available_ = true;
    steps_ = static_cast<std::int32_t>(std::min<std::uint32_t>(sink.steps, kMaximum + 1));
    sinkIndex_ = sink.index;
    lastVolume_ = fromServerVolume(sink.volume.values[0]);
    subscribe();
}

MasterVolume::~MasterVolume() {
    // The event thread ends before the callback it may be running goes.
    connection_.reset();
}

bool MasterVolume::readSink(SinkState& state) const {
    auto onInfo = [](pa_context*, const pa_sink_info* info, int, void* out) {
        if (!info)
            return;
        auto* sink = static_cast<SinkState*>(out);
        sink->found = info->volume.channels > 0;
        sink->index = info->index;
        sink->volume = info->volume;
        sink->steps = info->n_volume_steps;
    };
    return connection_->finish(pa_context_get_sink_info_by_name(connection_->context(),
                                                                kDefaultOutput, onInfo, &state),
                               timeout_) &&
           state.found;
}

void MasterVolume::subscribe() {
    pa_context_set_subscribe_callback(
        connection_->context(),
        [](pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* self) {
            static_cast<MasterVolume*>(self)->onEvent(type, index);
        },
        this);
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                          PA_SUBSCRIPTION_MASK_SERVER);
    connection_->finish(pa_context_subscribe(connection_->context(), mask, nullptr, nullptr),
                        timeout_);
}

void MasterVolume::onEvent(unsigned eventType, std::uint32_t index) {
    const unsigned facility = eventType & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const unsigned kind = eventType & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    const bool outputChanged = facility == PA_SUBSCRIPTION_EVENT_SINK &&
                               kind == PA_SUBSCRIPTION_EVENT_CHANGE && index == sinkIndex_;
    // A server event may name another default output.
    if (!outputChanged && facility != PA_SUBSCRIPTION_EVENT_SERVER)
        return;
    auto onInfo = [](pa_context*, const pa_sink_info* info, int, void* self) {
        static_cast<MasterVolume*>(self)->onSinkInfo(info);
    };
    if (pa_operation* operation =
            pa_context_get_sink_info_by_name(connection_->context(), kDefaultOutput, onInfo, this))
        pa_operation_unref(operation);
}

void MasterVolume::onSinkInfo(const pa_sink_info* info) {
    if (!info || info->volume.channels == 0)
        return;
    sinkIndex_ = info->index;
    const std::int32_t volume = fromServerVolume(info->volume.values[0]);
    if (volume == lastVolume_)
        return;
    lastVolume_ = volume;
    if (callback_)
        callback_(volume);
}

void MasterVolume::setChangeCallback(ChangeCallback callback) {
    if (!connection_) {
        callback_ = std::move(callback);
        return;
    }
    const PulseConnection::Lock lock(*connection_);
    callback_ = std::move(callback);
}

bool MasterVolume::setMute(bool mute) {
    if (!available_)
        return false;
    const PulseConnection::Lock lock(*connection_);
    SinkState sink;
    return readSink(sink) &&
           connection_->finish(pa_context_set_sink_mute_by_index(connection_->context(), sink.index,
                                                                 mute ? 1 : 0, nullptr, nullptr),
                               timeout_);
}

void MasterVolume::unmute() {
    setMute(false);
}

void MasterVolume::mute() {
    setMute(true);
}

std::vector<std::int32_t> MasterVolume::getChannelVolumes() {
    std::vector<std::int32_t> volumes;
    if (!available_)
        return volumes;
    const PulseConnection::Lock lock(*connection_);
    SinkState sink;
    if (!readSink(sink))
        return volumes;
    for (std::uint8_t channel = 0; channel < sink.volume.channels; ++channel)
        volumes.push_back(fromServerVolume(sink.volume.values[channel]));
    return volumes;
}

std::int32_t MasterVolume::getVolume() {
    const std::vector<std::int32_t> volumes = getChannelVolumes();
    return volumes.empty() ? -1 : volumes.front();
}

void MasterVolume::setChannelVolumes(const std::vector<std::int32_t>& volumes) {
    const bool inRange = std::all_of(volumes.begin(), volumes.end(), [](std::int32_t volume) {
        return volume >= 0 && volume <= kMaximum;
    });
    if (inRange)
        writeVolumes(volumes, false);
}

void MasterVolume::setVolume(std::int32_t volume) {
    if (volume >= 0 && volume <= kMaximum)
        writeVolumes({volume}, true);
}

void MasterVolume::writeVolumes(const std::vector<std::int32_t>& volumes, bool everyChannel) {
    if (!available_)
        return;
    const PulseConnection::Lock lock(*connection_);
    SinkState sink;
    if (!readSink(sink) || (!everyChannel && volumes.size() != sink.volume.channels))
        return;
    for (std::uint8_t channel = 0; channel < sink.volume.channels; ++channel)
        sink.volume.values[channel] = toServerVolume(volumes[everyChannel ? 0 : channel]);
    connection_->finish(pa_context_set_sink_volume_by_index(connection_->context(), sink.index,
                                                            &sink.volume, nullptr, nullptr),
                        timeout_);
}

int volumeSliderPosition(std::int32_t volume) {
    return static_cast<int>(kVolumeSliderRange - volume * 0.15259021896696423);
}

std::int32_t volumeAtSliderPosition(int position) {
    return static_cast<std::int32_t>((kVolumeSliderRange - position) * 6.5535);
}

int startupVolumeSliderPosition(MasterVolume& volume) {
    volume.unmute();
    return volumeSliderPosition(volume.getVolume());
}

void applyVolumeSliderRelease(MasterVolume& volume, int position) {
    volume.unmute();
    volume.setVolume(volumeAtSliderPosition(position));
}

}  // namespace tonalda
