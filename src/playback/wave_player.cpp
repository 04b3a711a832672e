#include "playback/wave_player.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <optional>

#include "playback/pulse_connection.h"

namespace tonalda {

namespace {

constexpr std::size_t kMaxErrorText = 256;
constexpr std::size_t kChunkBytes = 64 * 1024;
// Short enough that pause and seek are heard at once, long enough not to run dry.
constexpr pa_usec_t kTargetLatency = 200 * PA_USEC_PER_MSEC;

std::optional<pa_sample_format_t> sampleFormat(const WavLayout& layout) {
    constexpr std::uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;
    if (layout.formatTag == kFloat && layout.bitsPerSample == 32)
        return PA_SAMPLE_FLOAT32LE;
    if (layout.formatTag != kPcm && layout.formatTag != kExtensible)
        return std::nullopt;
    switch (layout.bitsPerSample) {
        case 8:
            return PA_SAMPLE_U8;
        case 16:
            return PA_SAMPLE_S16LE;
        case 24:
            return PA_SAMPLE_S24LE;
        case 32:
            return PA_SAMPLE_S32LE;
        default:
            return std::nullopt;
    }
}

// At most kMaxErrorText bytes, never ending inside a UTF-8 sequence.
std::string clipped(std::string text) {
    if (text.size() <= kMaxErrorText)
        return text;
    std::size_t end = kMaxErrorText;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

}  // namespace

WavePlayer::WavePlayer() = default;

WavePlayer::~WavePlayer() {
    close();
}

bool WavePlayer::fail(std::string text) {
    error_ = clipped(std::move(text));
    return false;
}

std::string WavePlayer::errorText() const {
    return error_.empty() ? std::string(kUnknownError) : error_;
}

bool WavePlayer::open(const std::filesystem::path& file) {
    close();
    error_.clear();
    std::string why;
    const std::optional<WavLayout> layout = readWavLayout(file, why);
    if (!layout)
        return fail(file.string() + ": " + why);
    const std::optional<pa_sample_format_t> format = sampleFormat(*layout);
    const pa_sample_spec spec{format.value_or(PA_SAMPLE_INVALID), layout->sampleRate,
                              static_cast<std::uint8_t>(layout->channels)};
    if (!format || layout->channels == 0 || layout->channels > PA_CHANNELS_MAX ||
        !pa_sample_spec_valid(&spec))
        return fail(file.string() + ": the audio format of this file cannot be played");
    UniqueFile opened = openFile(file, "rb");
    if (!opened)
        return fail(file.string() + ": the file cannot be opened");

    if (connection_) {
        const PulseConnection::Lock lock(*connection_);
        if (!connection_->alive())
            connection_.reset();
    }
    if (!connection_) {
        auto connection = std::make_unique<PulseConnection>("Tonalda");
        if (!connection->ready())
            return fail(connection->failure());
        connection_ = std::move(connection);
    }

    const PulseConnection::Lock lock(*connection_);
    stream_ = pa_stream_new(connection_->context(), "Tonalda", &spec, nullptr);
    if (!stream_)
        return fail(connection_->errorText());
    layout_ = *layout;
    frameBytes_ = static_cast<std::uint32_t>(pa_frame_size(&spec));
    file_ = std::move(opened);
    path_ = file;
    nextByte_ = 0;
    startSample_ = 0;
    startMicros_ = 0;
    pa_stream_set_state_callback(
        stream_,
        [](pa_stream*, void* self) { static_cast<WavePlayer*>(self)->connection_->wake(); }, this);
    pa_stream_set_write_callback(
        stream_,
        [](pa_stream*, std::size_t, void* self) { static_cast<WavePlayer*>(self)->fillStream(); },
        this);
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &spec));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                       PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_stream_connect_playback(stream_, nullptr, &buffer, flags, nullptr, nullptr) < 0 ||
        !connection_->waitUntil([this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        }) ||
        pa_stream_get_state(stream_) != PA_STREAM_READY) {
        const std::string text = connection_->errorText();
        closeStream();
        return fail(text);
    }
    return true;
}

void WavePlayer::closeStream() {
    if (!stream_)
        return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    file_.reset();
    path_.clear();
}

bool WavePlayer::close() {
    if (connection_ && stream_) {
        const PulseConnection::Lock lock(*connection_);
        closeStream();
    }
    return true;
}

std::uint64_t WavePlayer::lengthSamples() const {
    return frameBytes_ != 0 && stream_ ? layout_.dataLength / frameBytes_ : 0;
}

void WavePlayer::fillStream() {
    if (!stream_ || !file_)
        return;
    std::size_t writable = pa_stream_writable_size(stream_);
    if (writable == static_cast<std::size_t>(-1))
        return;
    const std::uint64_t end = layout_.dataLength - layout_.dataLength % frameBytes_;
    while (writable >= frameBytes_ && nextByte_ < end) {
        std::size_t bytes = static_cast<std::size_t>(
            std::min<std::uint64_t>({writable, end - nextByte_, kChunkBytes}));
        bytes -= bytes % frameBytes_;
        chunk_.resize(bytes);
        if (fseeko(file_.get(), static_cast<off_t>(layout_.dataOffset + nextByte_), SEEK_SET) != 0)
            return;
        std::size_t got = std::fread(chunk_.data(), 1, bytes, file_.get());
        got -= got % frameBytes_;
        // A file cut short since it was opened simply ends early.
        if (got == 0 ||
            pa_stream_write(stream_, chunk_.data(), got, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return;
        nextByte_ += got;
        writable -= got;
    }
}

std::uint64_t WavePlayer::streamMicros() const {
    pa_usec_t micros = 0;
    return pa_stream_get_time(stream_, &micros) == 0 ? micros : startMicros_;
}

bool WavePlayer::startAt(std::uint64_t sampleFrame) {
    if (!stream_)
        return fail("No WAV file is open.");
    const PulseConnection::Lock lock(*connection_);
    // What is queued belongs to the old position and goes; every write from here on, also those
    // made while the flush is under way, comes from the new one.
    startSample_ = std::min(sampleFrame, layout_.dataLength / frameBytes_);
    nextByte_ = startSample_ * frameBytes_;
    if (!connection_->finish(pa_stream_flush(stream_, nullptr, nullptr)))
        return fail(connection_->errorText());
    startMicros_ = streamMicros();
    fillStream();
    if (!connection_->finish(pa_stream_cork(stream_, 0, nullptr, nullptr)))
        return fail(connection_->errorText());
    return true;
}

bool WavePlayer::play() {
    return startAt(0);
}

bool WavePlayer::seekAndPlay(std::uint64_t sampleFrame) {
    return startAt(sampleFrame);
}

bool WavePlayer::cork(bool paused) {
    if (!stream_)
        return fail("No WAV file is open.");
    const PulseConnection::Lock lock(*connection_);
    if (!connection_->finish(pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr)))
        return fail(connection_->errorText());
    return true;
}

bool WavePlayer::pause() {
    return cork(true);
}

bool WavePlayer::resume() {
    return cork(false);
}

bool WavePlayer::stop() {
    if (!cork(true))
        return false;
    const PulseConnection::Lock lock(*connection_);
    nextByte_ = layout_.dataLength;  // nothing more until the next play
    if (!connection_->finish(pa_stream_flush(stream_, nullptr, nullptr)))
        return fail(connection_->errorText());
    return true;
}

std::uint64_t WavePlayer::positionSamples() const {
    if (!stream_)
        return 0;
    const PulseConnection::Lock lock(*connection_);
    const std::uint64_t now = streamMicros();
    const std::uint64_t played =
        (now > startMicros_ ? now - startMicros_ : 0) * layout_.sampleRate / PA_USEC_PER_SEC;
    return std::min(startSample_ + played, layout_.dataLength / frameBytes_);
}

}  // namespace tonalda
