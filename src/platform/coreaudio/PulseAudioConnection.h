#pragma once
// One connection to a PulseAudio server (PULSE_SERVER, else the user's session; a server is
// never started on demand): a threaded main loop and its context, subscribed to sink, source,
// server, module and card events. Every event asks for a fresh snapshot of the server, built
// on the loop's thread and handed to `onSnapshot` there; refreshes asked for while one runs
// are folded into one more.
//
// A server that goes away (it restarted or crashed) is connected to again, after 100 ms and
// then twice as long each time up to 5 s, for as long as the connection lives; once it answers
// the connection subscribes and takes a fresh snapshot, as at the start.
//
// Callers on other threads issue operations on the loop and wait for them with a time-out;
// nothing ever waits on the loop's own thread: an operation asked for from it fails at once.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/coreaudio/AudioTypes.h"
#include "platform/coreaudio/PulseAudioSnapshot.h"

namespace pex::coreaudio {

class PulseAudioConnection {
  public:
    using SnapshotHandler = std::function<void(PulseAudioSnapshot)>;
    // Issues an operation whose completion reports success (the `pa_context_*` setters).
    using SuccessOperation =
        std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>;
    // Issues an operation whose completion reports an index (loading a module).
    using IndexOperation = std::function<pa_operation*(pa_context*, pa_context_index_cb_t, void*)>;

    explicit PulseAudioConnection(std::chrono::milliseconds timeout);
    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    // Connects, subscribes and waits for the first snapshot. `onSnapshot` and `onLost` (the
    // server went away; a snapshot follows when it is back) run on the loop's thread.
    AudioStatus start(SnapshotHandler onSnapshot, std::function<void()> onLost);
    // Ends the connection; no handler runs after it returns.
    void stop();

    bool isConnected() const;

    // Each returns once the server answered and a snapshot taken after that answer has been
    // handed over, so what the operation changed is visible to the caller's next read.
    AudioStatus run(const SuccessOperation& operation);
    AudioStatus run(const IndexOperation& operation, std::uint32_t& index);
    // Takes a fresh snapshot and waits until it has been handed over.
    AudioStatus refresh();

  private:
    struct Waiter;

    // Loop thread, loop lock held.
    static void onContextState(pa_context* context, void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* when,
                        void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                        void* self);
    static void onSuccess(pa_context* context, int success, void* waiter);
    static void onIndex(pa_context* context, std::uint32_t index, void* waiter);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* self);
    static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
    static void onModuleInfo(pa_context* context, const pa_module_info* info, int eol, void* self);
    static void onCardInfo(pa_context* context, const pa_card_info* info, int eol, void* self);
    bool connectContext();
    void subscribe();
    void serverLost();
    void scheduleRetry();
    void startRefresh();
    void partOfRefreshDone();
    void complete(Waiter* waiter, bool success, std::uint32_t index);
    void failEveryWaiter();

    // Any thread.
    std::shared_ptr<Waiter> issue(const std::function<pa_operation*(Waiter*)>& operation,
                                  AudioStatus& status);
    AudioStatus wait(const std::shared_ptr<Waiter>& waiter);
    AudioStatus waitForSnapshot(std::uint64_t ticket);
    bool onLoopThread() const;

    const std::chrono::milliseconds timeout_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    SnapshotHandler onSnapshot_;
    std::function<void()> onLost_;

    // Loop lock.
    bool stopping_ = false;
    bool everReady_ = false;  // the first connection is subscribed by `start`, later ones here
    pa_time_event* retry_ = nullptr;
    std::chrono::milliseconds retryDelay_;
    std::unordered_map<Waiter*, std::shared_ptr<Waiter>> waiters_;
    PulseAudioSnapshot building_;
    int outstandingParts_ = 0;
    bool refreshing_ = false;
    bool refreshPending_ = false;
    std::uint64_t requestedSnapshots_ = 0;
    std::uint64_t runningSnapshot_ = 0;

    // `mutex_`: what waiting callers look at.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool lost_ = false;
    std::uint64_t deliveredSnapshot_ = 0;
};

}  // namespace pex::coreaudio
