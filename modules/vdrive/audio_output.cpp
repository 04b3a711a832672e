#include "audio_output.h"

#include <pulse/pulseaudio.h>

#include <vector>

#include "sector.h"

namespace tonalda::vdrive {

void AudioOutput::play(int32_t from, int32_t end) {
    stop();
    stopping_ = false;
    thread_ = std::thread([this, from, end] { stream(from, end); });
}

void AudioOutput::stop() {
    stopping_ = true;
    {
        std::lock_guard lock(loopMutex_);
        if (loop_) {
            pa_threaded_mainloop_lock(loop_);
            pa_threaded_mainloop_signal(loop_, 0);
            pa_threaded_mainloop_unlock(loop_);
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

namespace {

void wake(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_signal(loop, 0);
}

}  // namespace

void AudioOutput::stream(int32_t from, int32_t end) {
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop) {
        return;
    }
    pa_context* context =
        pa_context_new(pa_threaded_mainloop_get_api(loop), "Tonalda virtual drive");
    pa_stream* stream = nullptr;
    if (!context || pa_threaded_mainloop_start(loop) < 0) {
        if (context) {
            pa_context_unref(context);
        }
        pa_threaded_mainloop_free(loop);
        return;
    }
    {
        std::lock_guard lock(loopMutex_);
        loop_ = loop;
    }
    pa_threaded_mainloop_lock(loop);
    auto onState = [](pa_context*, void* l) { wake(static_cast<pa_threaded_mainloop*>(l)); };
    pa_context_set_state_callback(context, onState, loop);
    bool ready = false;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (!stopRequested()) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state)) {
                break;
            }
            pa_threaded_mainloop_wait(loop);
        }
    }
    if (ready) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, 44100, 2};
        stream = pa_stream_new(context, "CD audio", &spec, nullptr);
    }
    if (stream) {
        auto onStreamState = [](pa_stream*, void* l) {
            wake(static_cast<pa_threaded_mainloop*>(l));
        };
        auto onWritable = [](pa_stream*, size_t, void* l) {
            wake(static_cast<pa_threaded_mainloop*>(l));
        };
        pa_stream_set_state_callback(stream, onStreamState, loop);
        pa_stream_set_write_callback(stream, onWritable, loop);
        ready = pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr,
                                           nullptr) >= 0;
        while (ready && !stopRequested() && pa_stream_get_state(stream) != PA_STREAM_READY) {
            ready = PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
            if (ready) {
                pa_threaded_mainloop_wait(loop);
            }
        }
        std::vector<uint8_t> chunk;
        int32_t next = from;
        while (ready && !stopRequested() && next < end) {
            const size_t writable = pa_stream_writable_size(stream);
            const size_t frames =
                std::min<size_t>(writable / kFrameBytes, static_cast<size_t>(end - next));
            if (writable == static_cast<size_t>(-1)) {
                break;
            }
            if (frames == 0) {
                pa_threaded_mainloop_wait(loop);
                continue;
            }
            chunk.resize(frames * kFrameBytes);
            try {
                for (size_t f = 0; f < frames; ++f) {
                    disc_.readSector(next + static_cast<int32_t>(f),
                                     chunk.data() + f * kFrameBytes);
                }
            } catch (const DiscError&) {
                break;
            }
            if (pa_stream_write(stream, chunk.data(), chunk.size(), nullptr, 0, PA_SEEK_RELATIVE) <
                0) {
                break;
            }
            next += static_cast<int32_t>(frames);
        }
        if (!stopRequested() && ready) {
            // Let the last frames play out before the stream goes.
            if (pa_operation* drain = pa_stream_drain(
                    stream,
                    [](pa_stream*, int, void* l) { wake(static_cast<pa_threaded_mainloop*>(l)); },
                    loop)) {
                while (!stopRequested() && pa_operation_get_state(drain) == PA_OPERATION_RUNNING) {
                    pa_threaded_mainloop_wait(loop);
                }
                pa_operation_unref(drain);
            }
        }
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_unlock(loop);
    {
        std::lock_guard lock(loopMutex_);
        loop_ = nullptr;
    }
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

}  // namespace tonalda::vdrive
