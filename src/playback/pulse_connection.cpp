#include "playback/pulse_connection.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace tonalda {

namespace {

struct Deadline {
    const PulseConnection* connection;
    bool passed = false;
};

void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* deadline = static_cast<Deadline*>(userdata);
    deadline->passed = true;
    deadline->connection->wake();
}

std::string serverError(int error) {
    const char* text = error != 0 ? pa_strerror(error) : nullptr;
    return text && *text ? text : std::string(kUnknownError);
}

}  // namespace

SoundServerStatus probeSoundServer(std::chrono::milliseconds timeout) {
    const PulseConnection connection("Tonalda", timeout);
    return {connection.ready(), connection.failure()};
}

void PulseConnection::LoopDeleter::operator()(pa_threaded_mainloop* loop) const {
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseConnection::ContextDeleter::operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
}

PulseConnection::PulseConnection(std::string_view clientName, std::chrono::milliseconds timeout) {
    loop_.reset(pa_threaded_mainloop_new());
    if (!loop_) {
        failure_ = "Sound server unavailable: no event loop";
        return;
    }
    context_.reset(
        pa_context_new(pa_threaded_mainloop_get_api(loop_.get()), std::string(clientName).c_str()));
    if (!context_ || pa_threaded_mainloop_start(loop_.get()) < 0) {
        context_.reset();
        failure_ = "Sound server unavailable: no client context";
        return;
    }
    const Lock lock(*this);
    pa_context_set_state_callback(
        context_.get(),
        [](pa_context*, void* self) { static_cast<PulseConnection*>(self)->wake(); }, this);
    // Never start a server: a machine without one simply has no sound.
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        failure_ = "Sound server unavailable: " + errorText();
        return;
    }
    const bool settled = waitUntil(
        [this] {
            const pa_context_state_t state = pa_context_get_state(context_.get());
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeout);
    ready_ = pa_context_get_state(context_.get()) == PA_CONTEXT_READY;
    if (!ready_)
        failure_ =
            "Sound server unavailable: " + (settled ? errorText() : serverError(PA_ERR_TIMEOUT));
}

PulseConnection::~PulseConnection() {
    if (context_) {
        const Lock lock(*this);
        pa_context_set_state_callback(context_.get(), nullptr, nullptr);
        context_.reset();
    }
    loop_.reset();
}

PulseConnection::Lock::Lock(const PulseConnection& connection) : loop_(connection.loop()) {
    pa_threaded_mainloop_lock(loop_);
}

PulseConnection::Lock::~Lock() {
    pa_threaded_mainloop_unlock(loop_);
}

void PulseConnection::wake() const {
    pa_threaded_mainloop_signal(loop_.get(), 0);
}

bool PulseConnection::alive() const {
    return context_ && pa_context_get_state(context_.get()) == PA_CONTEXT_READY;
}

bool PulseConnection::waitUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) const {
    Deadline deadline{this};
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    pa_time_event* event = pa_context_rttime_new(
        context_.get(), pa_rtclock_now() + static_cast<pa_usec_t>(micros), onDeadline, &deadline);
    if (!event)
        return done();
    bool result = done();
    while (!result && !deadline.passed &&
           PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()))) {
        pa_threaded_mainloop_wait(loop_.get());
        result = done();
    }
    pa_threaded_mainloop_get_api(loop_.get())->time_free(event);
    return result;
}

bool PulseConnection::finish(pa_operation* operation, std::chrono::milliseconds timeout) const {
    if (!operation)
        return false;
    pa_operation_set_state_callback(
        operation, [](pa_operation*, void* self) { static_cast<PulseConnection*>(self)->wake(); },
        const_cast<PulseConnection*>(this));
    waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
              timeout);
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!done)
        pa_operation_cancel(operation);
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    return done && alive();
}

std::string PulseConnection::errorText() const {
    return serverError(context_ ? pa_context_errno(context_.get()) : 0);
}

}  // namespace tonalda
