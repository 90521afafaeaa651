#include "platform/avfoundation/PulseAudioFilePlayer.h"

#include <pulse/pulseaudio.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/mach/CrashSignals.h"

namespace pex {

// Everything below runs with the threaded main loop's lock held: the stream callbacks get it
// from the loop, the player's calls take it (Lock).
struct PulseAudioFilePlayer::Engine {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    sf_count_t position = 0;  // the frame playback starts or stands at
    sf_count_t nextRead = 0;  // the next frame the stream will be given
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool draining = false;
    bool ended = false;
    bool playing = false;

    ~Engine() {
        if (loop) {
            pa_threaded_mainloop_lock(loop);
            dropStream();
            if (context) {
                pa_context_disconnect(context);
                pa_context_unref(context);
                context = nullptr;
            }
            pa_threaded_mainloop_unlock(loop);
            pa_threaded_mainloop_stop(loop);
            pa_threaded_mainloop_free(loop);
        }
        if (file) sf_close(file);
    }

    double rate() const { return static_cast<double>(info.samplerate); }
    std::size_t frameBytes() const {
        return sizeof(float) * static_cast<std::size_t>(info.channels);
    }

    struct Lock {
        explicit Lock(const Engine& engine) : loop(engine.loop) {
            if (loop) pa_threaded_mainloop_lock(loop);
        }
        ~Lock() {
            if (loop) pa_threaded_mainloop_unlock(loop);
        }
        pa_threaded_mainloop* loop;
    };

    bool connect() {
        if (!loop) {
            loop = pa_threaded_mainloop_new();
            if (!loop) return false;
            if (pa_threaded_mainloop_start(loop) < 0) {
                pa_threaded_mainloop_free(loop);
                loop = nullptr;
                return false;
            }
        }
        Lock lock(*this);
        if (context && pa_context_get_state(context) == PA_CONTEXT_READY) return true;
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Pexmora");
        if (!context) return false;
        pa_context_set_state_callback(
            context,
            [](pa_context*, void* loop) {
                // The loop's thread blocks every signal; its first callback lets a crash be
                // recorded there.
                acceptCrashSignals();
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            loop);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return false;
        }
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) return true;
            if (!PA_CONTEXT_IS_GOOD(state)) return false;
            pa_threaded_mainloop_wait(loop);
        }
    }

    // Lock held. Gives the stream what it asks for, from the file; at the file's end lets the
    // stream play out what it has and then notes the end.
    void feed(std::size_t bytes) {
        if (draining || !stream) return;
        std::vector<float> buffer(bytes / sizeof(float));
        const sf_count_t frames = static_cast<sf_count_t>(bytes / frameBytes());
        const sf_count_t got = frames > 0 ? sf_readf_float(file, buffer.data(), frames) : 0;
        if (got > 0) {
            pa_stream_write(stream, buffer.data(), static_cast<std::size_t>(got) * frameBytes(),
                            nullptr, 0, PA_SEEK_RELATIVE);
            nextRead += got;
        }
        if (got < frames) {
            draining = true;
            pa_operation* drain = pa_stream_drain(
                stream,
                [](pa_stream*, int success, void* self) {
                    auto* engine = static_cast<Engine*>(self);
                    if (success) engine->ended = true;
                    pa_threaded_mainloop_signal(engine->loop, 0);
                },
                this);
            if (drain) pa_operation_unref(drain);
        }
    }

    // Lock held.
    bool startStream() {
        const pa_sample_spec sample{PA_SAMPLE_FLOAT32NE,
                                    static_cast<std::uint32_t>(info.samplerate),
                                    static_cast<std::uint8_t>(info.channels)};
        if (!pa_sample_spec_valid(&sample)) return false;
        stream = pa_stream_new(context, "Pexmora playback", &sample, nullptr);
        if (!stream) return false;
        pa_stream_set_state_callback(
            stream,
            [](pa_stream*, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            loop);
        pa_stream_set_write_callback(
            stream,
            [](pa_stream*, std::size_t bytes, void* self) {
                static_cast<Engine*>(self)->feed(bytes);
            },
            this);
        // A short buffer: pausing and seeking take effect within about a tenth of a second.
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(100'000, &sample));
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(-1);
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        sf_seek(file, position, SEEK_SET);
        nextRead = position;
        draining = false;
        ended = false;
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) < 0) {
            dropStream();
            return false;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (state == PA_STREAM_READY) return true;
            if (!PA_STREAM_IS_GOOD(state)) {
                dropStream();
                return false;
            }
            pa_threaded_mainloop_wait(loop);
        }
    }

    // Lock held.
    void dropStream() {
        if (!stream) return;
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    // Lock held. The frame being heard now.
    sf_count_t heardFrame() const {
        if (!stream || !playing) return position;
        pa_usec_t played = 0;
        if (pa_stream_get_time(stream, &played) < 0) return position;
        const auto frames = static_cast<sf_count_t>(static_cast<double>(played) * rate() / 1e6);
        return std::min(position + frames, std::min(nextRead, info.frames));
    }

    // Lock held. A stream that played to the end goes, and the position goes back to the start;
    // one the sound server dropped (it went away) stops where it was heard last.
    void settle() {
        if (stream && !ended && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            dropStream();
            playing = false;
            return;
        }
        if (!ended) return;
        dropStream();
        ended = false;
        playing = false;
        position = 0;
    }

    // Lock held. Stops the sound where it is.
    void halt() {
        settle();
        if (!playing) return;
        position = heardFrame();
        dropStream();
        playing = false;
    }
};

PulseAudioFilePlayer::PulseAudioFilePlayer(std::unique_ptr<Engine> engine)
    : engine_(std::move(engine)) {}

PulseAudioFilePlayer::~PulseAudioFilePlayer() = default;

AudioPlayerLoad PulseAudioFilePlayer::open(const std::filesystem::path& file) {
    auto engine = std::make_unique<Engine>();
    engine->file = sf_open(file.c_str(), SFM_READ, &engine->info);
    if (!engine->file) return {nullptr, sf_strerror(nullptr)};
    if (engine->info.samplerate <= 0 || engine->info.channels <= 0 ||
        engine->info.channels > static_cast<int>(PA_CHANNELS_MAX)) {
        return {nullptr, "unsupported audio format"};
    }
    return {std::unique_ptr<AudioPlayer>(new PulseAudioFilePlayer(std::move(engine))), {}};
}

bool PulseAudioFilePlayer::prepareToPlay() {
    return engine_->connect();
}

bool PulseAudioFilePlayer::play() {
    if (!engine_->connect()) return false;
    Engine::Lock lock(*engine_);
    engine_->settle();
    if (engine_->playing) return true;
    if (engine_->position >= engine_->info.frames) return false;
    engine_->playing = engine_->startStream();
    return engine_->playing;
}

void PulseAudioFilePlayer::pause() {
    Engine::Lock lock(*engine_);
    engine_->halt();
}

void PulseAudioFilePlayer::stop() {
    Engine::Lock lock(*engine_);
    engine_->halt();
}

bool PulseAudioFilePlayer::isPlaying() const {
    Engine::Lock lock(*engine_);
    engine_->settle();
    return engine_->playing;
}

double PulseAudioFilePlayer::currentTime() const {
    Engine::Lock lock(*engine_);
    engine_->settle();
    return static_cast<double>(engine_->heardFrame()) / engine_->rate();
}

void PulseAudioFilePlayer::setCurrentTime(double seconds) {
    Engine::Lock lock(*engine_);
    engine_->settle();
    const bool wasPlaying = engine_->playing;
    engine_->halt();
    const double frame = std::clamp(seconds, 0.0, duration()) * engine_->rate();
    engine_->position = std::min(static_cast<sf_count_t>(frame), engine_->info.frames);
    if (wasPlaying) engine_->playing = engine_->startStream();
}

double PulseAudioFilePlayer::duration() const {
    return static_cast<double>(engine_->info.frames) / engine_->rate();
}

}  // namespace pex
