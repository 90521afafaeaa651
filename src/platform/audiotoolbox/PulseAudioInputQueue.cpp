#include "platform/audiotoolbox/PulseAudioInputQueue.h"

#include <pulse/pulseaudio.h>

#include <string>
#include <utility>

#include "platform/mach/CrashSignals.h"

namespace pex {

namespace {

// Holds the main-loop lock for one scope (callbacks run with it held on the loop's thread).
class MainloopLock {
  public:
    explicit MainloopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

AudioQueueError pulseError(int code, const char* what) {
    return AudioQueueError{code, std::string(what) + ": " + pa_strerror(code)};
}

}  // namespace

AudioInputQueueResult PulseAudioInputQueue::create(const AudioCaptureFormat& format,
                                                   InputCallback onInput,
                                                   FailureCallback onFailure) {
    std::unique_ptr<PulseAudioInputQueue> queue(
        new PulseAudioInputQueue(format, std::move(onInput), std::move(onFailure)));
    if (auto error = queue->connect()) return {nullptr, std::move(error)};
    return {std::move(queue), std::nullopt};
}

PulseAudioInputQueue::PulseAudioInputQueue(const AudioCaptureFormat& format, InputCallback onInput,
                                           FailureCallback onFailure)
    : AudioInputQueue(std::move(onInput), std::move(onFailure)), format_(format) {}

PulseAudioInputQueue::~PulseAudioInputQueue() {
    if (!mainloop_) return;
    stop();
    {
        MainloopLock lock(mainloop_);
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

std::optional<AudioQueueError> PulseAudioInputQueue::connect() {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) return AudioQueueError{PA_ERR_INTERNAL, "PulseAudio: cannot make a main loop"};
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Pexmora");
    if (!context_) return AudioQueueError{PA_ERR_INTERNAL, "PulseAudio: cannot make a context"};
    pa_context_set_state_callback(context_, &PulseAudioInputQueue::onContextState, this);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        return AudioQueueError{PA_ERR_INTERNAL, "PulseAudio: cannot start the main loop"};
    }
    MainloopLock lock(mainloop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return contextError("PulseAudio: cannot connect to the sound server");
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return std::nullopt;
        if (!PA_CONTEXT_IS_GOOD(state))
            return contextError("PulseAudio: cannot connect to the sound server");
        pa_threaded_mainloop_wait(mainloop_);
    }
}

AudioQueueError PulseAudioInputQueue::contextError(const char* what) const {
    return pulseError(pa_context_errno(context_), what);
}

std::optional<AudioQueueError> PulseAudioInputQueue::start() {
    MainloopLock lock(mainloop_);
    if (running_) return std::nullopt;
    if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
        return contextError("PulseAudio: the sound server connection is gone");
    }
    pa_sample_spec sample{};
    sample.format = PA_SAMPLE_S16LE;
    sample.rate = static_cast<std::uint32_t>(format_.sampleRate);
    sample.channels = static_cast<std::uint8_t>(format_.channelsPerFrame);
    stream_ = pa_stream_new(context_, "录音", &sample, nullptr);
    if (!stream_) return contextError("PulseAudio: cannot make a record stream");
    pa_stream_set_state_callback(stream_, &PulseAudioInputQueue::onStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseAudioInputQueue::onStreamRead, this);
    pa_stream_set_moved_callback(stream_, &PulseAudioInputQueue::onStreamMoved, this);

    // A small fragment with latency adjustment makes the server hand over about every 20 ms.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = format_.bytesPerBuffer;
    if (pa_stream_connect_record(stream_, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        const AudioQueueError error =
            contextError("PulseAudio: cannot record from the default input");
        disconnectStream();
        return error;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state)) {
            const AudioQueueError error =
                contextError("PulseAudio: cannot record from the default input");
            disconnectStream();
            return error;
        }
        pa_threaded_mainloop_wait(mainloop_);
    }
    sourceIndex_ = pa_stream_get_device_index(stream_);
    running_ = true;
    return std::nullopt;
}

void PulseAudioInputQueue::stop() {
    MainloopLock lock(mainloop_);
    running_ = false;
    disconnectStream();
}

void PulseAudioInputQueue::disconnectStream() {
    if (!stream_) return;
    // Callbacks run on the loop thread with the lock held, which we hold now: once they are
    // cleared, none of ours runs again.
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_moved_callback(stream_, nullptr, nullptr);
    if (formerSourceQuery_) {
        pa_operation_cancel(formerSourceQuery_);
        pa_operation_unref(formerSourceQuery_);
        formerSourceQuery_ = nullptr;
    }
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseAudioInputQueue::onContextState(pa_context* context, void* opaque) {
    // The loop's thread blocks every signal; its first callback lets a crash be recorded there.
    acceptCrashSignals();
    auto* self = static_cast<PulseAudioInputQueue*>(opaque);
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state) && self->running_) {
        self->running_ = false;
        self->fail(pulseError(pa_context_errno(context), "PulseAudio: the sound server went away"));
    }
    pa_threaded_mainloop_signal(self->mainloop_, 0);
}

void PulseAudioInputQueue::onStreamState(pa_stream* stream, void* opaque) {
    auto* self = static_cast<PulseAudioInputQueue*>(opaque);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (!PA_STREAM_IS_GOOD(state) && self->running_) {
        self->running_ = false;
        self->fail(
            pulseError(pa_context_errno(self->context_), "PulseAudio: the recording stopped"));
    }
    pa_threaded_mainloop_signal(self->mainloop_, 0);
}

// The server moved the recording: when the source it left is gone, the device was lost.
void PulseAudioInputQueue::onStreamMoved(pa_stream* stream, void* opaque) {
    auto* self = static_cast<PulseAudioInputQueue*>(opaque);
    const std::uint32_t former =
        std::exchange(self->sourceIndex_, pa_stream_get_device_index(stream));
    if (!self->running_ || self->formerSourceQuery_) return;
    self->formerSourceFound_ = false;
    self->formerSourceQuery_ = pa_context_get_source_info_by_index(
        self->context_, former, &PulseAudioInputQueue::onFormerSource, self);
}

void PulseAudioInputQueue::onFormerSource(pa_context*, const pa_source_info* info, int eol,
                                          void* opaque) {
    auto* self = static_cast<PulseAudioInputQueue*>(opaque);
    if (eol == 0) {
        self->formerSourceFound_ = self->formerSourceFound_ || info != nullptr;
        return;
    }
    pa_operation_unref(std::exchange(self->formerSourceQuery_, nullptr));
    if (self->formerSourceFound_ || !self->running_) return;
    self->running_ = false;
    self->fail(AudioQueueError{PA_ERR_NOENTITY, "PulseAudio: the recording device went away"});
}

void PulseAudioInputQueue::onStreamRead(pa_stream* stream, std::size_t, void* opaque) {
    auto* self = static_cast<PulseAudioInputQueue*>(opaque);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) return;
        // A hole (no data for a stretch) carries no bytes; it is skipped like the platform does.
        if (data && self->running_) {
            self->deliver({static_cast<const std::uint8_t*>(data), size});
        }
        pa_stream_drop(stream);
    }
}

}  // namespace pex
