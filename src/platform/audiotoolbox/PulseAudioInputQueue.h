#pragma once
// The input queue on a PulseAudio server: a record stream on the default source, read on the
// client library's own main-loop thread. The server is the one the client library finds
// (PULSE_SERVER, then the user's session); no server is ever started on demand.
//
// A recording device that goes away (unplugged) ends the queue as a failure, also where the
// server moves the stream to another device in its place (some servers then record the
// speakers' monitor); a move the user asked for, with the old device still there, goes on.
#include <atomic>

#include "platform/audiotoolbox/AudioInputQueue.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_operation;
struct pa_source_info;

namespace pex {

class PulseAudioInputQueue final : public AudioInputQueue {
  public:
    static AudioInputQueueResult create(const AudioCaptureFormat& format, InputCallback onInput,
                                        FailureCallback onFailure);
    ~PulseAudioInputQueue() override;

    std::optional<AudioQueueError> start() override;
    void stop() override;

  private:
    PulseAudioInputQueue(const AudioCaptureFormat& format, InputCallback onInput,
                         FailureCallback onFailure);
    std::optional<AudioQueueError> connect();
    AudioQueueError contextError(const char* what) const;
    void disconnectStream();

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* self);
    static void onStreamMoved(pa_stream* stream, void* self);
    static void onFormerSource(pa_context* context, const pa_source_info* info, int eol,
                               void* self);

    AudioCaptureFormat format_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;  // guarded by the main-loop lock
    bool running_ = false;         // guarded by the main-loop lock
    // The source recorded from, and the look-up of the one left behind by a move (main-loop
    // lock).
    std::uint32_t sourceIndex_ = 0;
    pa_operation* formerSourceQuery_ = nullptr;
    bool formerSourceFound_ = false;
};

}  // namespace pex
