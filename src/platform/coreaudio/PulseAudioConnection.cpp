#include "platform/coreaudio/PulseAudioConnection.h"

#include <algorithm>
#include <utility>

#include "platform/mach/CrashSignals.h"

namespace pex::coreaudio {

namespace {

// The refresh asks for five lists: server info, sinks, sources, modules, cards.
constexpr int kSnapshotParts = 5;

// Waits between attempts to reach a server that went away.
constexpr std::chrono::milliseconds kFirstRetry{100};
constexpr std::chrono::milliseconds kLongestRetry{5000};

class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

std::string text(const char* value) {
    return value ? std::string(value) : std::string();
}

std::string propertyText(const pa_proplist* list, const char* key) {
    return list ? text(pa_proplist_gets(list, key)) : std::string();
}

template <typename Info>
PulseAudioEndpoint endpointFrom(const Info& info, bool isSink) {
    PulseAudioEndpoint endpoint;
    endpoint.isSink = isSink;
    endpoint.index = info.index;
    endpoint.name = text(info.name);
    endpoint.description = text(info.description);
    endpoint.sampleSpec = info.sample_spec;
    endpoint.channelMap = info.channel_map;
    endpoint.volume = info.volume;
    endpoint.mute = info.mute != 0;
    for (std::uint32_t i = 0; i < info.n_ports; ++i) {
        const auto* port = info.ports[i];
        endpoint.ports.push_back(
            {text(port->name), text(port->description), port->available != PA_PORT_AVAILABLE_NO});
    }
    if (info.active_port) endpoint.activePort = text(info.active_port->name);
    endpoint.running = info.state == decltype(info.state)(0);  // RUNNING is 0 for both
    endpoint.latencyMicroseconds = info.configured_latency ? info.configured_latency : info.latency;
    endpoint.ownerModule = info.owner_module;
    endpoint.card = info.card;
    endpoint.bus = propertyText(info.proplist, PA_PROP_DEVICE_BUS);
    endpoint.deviceClass = propertyText(info.proplist, PA_PROP_DEVICE_CLASS);
    endpoint.vendor = propertyText(info.proplist, PA_PROP_DEVICE_VENDOR_NAME);
    return endpoint;
}

}  // namespace

// One operation a caller waits for. The connection's table keeps it until the server answers
// or the connection ends, even when the caller gave up waiting, so a late answer always finds
// it alive.
struct PulseAudioConnection::Waiter {
    PulseAudioConnection* connection = nullptr;
    bool done = false;
    bool success = false;
    std::uint32_t index = PA_INVALID_INDEX;
};

PulseAudioConnection::PulseAudioConnection(std::chrono::milliseconds timeout)
    : timeout_(timeout), retryDelay_(kFirstRetry) {}

PulseAudioConnection::~PulseAudioConnection() {
    stop();
}

AudioStatus PulseAudioConnection::start(SnapshotHandler onSnapshot, std::function<void()> onLost) {
    onSnapshot_ = std::move(onSnapshot);
    onLost_ = std::move(onLost);
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) return status::notRunning;
    if (pa_threaded_mainloop_start(mainloop_) < 0) return status::notRunning;
    {
        LoopLock lock(mainloop_);
        if (!connectContext()) return status::notRunning;
    }
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout_, [this] { return ready_ || lost_; }) || lost_) {
            return status::notRunning;
        }
    }
    std::uint64_t ticket = 0;
    {
        LoopLock lock(mainloop_);
        subscribe();
        ticket = ++requestedSnapshots_;
        startRefresh();
    }
    return waitForSnapshot(ticket);
}

// Loop lock held. A fresh context each time: one that failed cannot connect again.
bool PulseAudioConnection::connectContext() {
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "Pexmora");
    if (!context_) return false;
    pa_context_set_state_callback(context_, &PulseAudioConnection::onContextState, this);
    pa_context_set_subscribe_callback(context_, &PulseAudioConnection::onEvent, this);
    return pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

// Loop lock held.
void PulseAudioConnection::subscribe() {
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER |
        PA_SUBSCRIPTION_MASK_MODULE | PA_SUBSCRIPTION_MASK_CARD);
    if (pa_operation* op = pa_context_subscribe(context_, mask, nullptr, nullptr)) {
        pa_operation_unref(op);
    }
}

void PulseAudioConnection::stop() {
    if (!mainloop_) return;
    {
        LoopLock lock(mainloop_);
        stopping_ = true;
        if (retry_) {
            pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
            api->time_free(retry_);
            retry_ = nullptr;
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_set_subscribe_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
        }
        failEveryWaiter();
    }
    pa_threaded_mainloop_stop(mainloop_);
    if (context_) pa_context_unref(context_);
    context_ = nullptr;
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
    std::lock_guard lock(mutex_);
    lost_ = true;
    changed_.notify_all();
}

bool PulseAudioConnection::isConnected() const {
    std::lock_guard lock(mutex_);
    return ready_ && !lost_;
}

bool PulseAudioConnection::onLoopThread() const {
    return mainloop_ && pa_threaded_mainloop_in_thread(mainloop_);
}

// --- operations ---------------------------------------------------------------------------

std::shared_ptr<PulseAudioConnection::Waiter> PulseAudioConnection::issue(
    const std::function<pa_operation*(Waiter*)>& operation, AudioStatus& status) {
    status = status::notRunning;
    // Waiting on the loop's thread would stop the loop that has to answer.
    if (!mainloop_ || onLoopThread() || !isConnected()) return nullptr;
    auto waiter = std::make_shared<Waiter>();
    waiter->connection = this;
    LoopLock lock(mainloop_);
    if (pa_context_get_state(context_) != PA_CONTEXT_READY) return nullptr;
    waiters_[waiter.get()] = waiter;
    pa_operation* op = operation(waiter.get());
    if (!op) {
        waiters_.erase(waiter.get());
        status = status::unspecified;
        return nullptr;
    }
    pa_operation_unref(op);
    status = status::ok;
    return waiter;
}

AudioStatus PulseAudioConnection::wait(const std::shared_ptr<Waiter>& waiter) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout_, [&] { return waiter->done || lost_; });
    if (!waiter->done) return lost_ ? status::notRunning : status::unspecified;
    if (lost_ && !waiter->success) return status::notRunning;
    return waiter->success ? status::ok : status::unspecified;
}

AudioStatus PulseAudioConnection::run(const SuccessOperation& operation) {
    AudioStatus status = status::ok;
    auto waiter =
        issue([&](Waiter* w) { return operation(context_, &PulseAudioConnection::onSuccess, w); },
              status);
    if (!waiter) return status;
    if (const AudioStatus answered = wait(waiter)) return answered;
    return refresh();
}

AudioStatus PulseAudioConnection::run(const IndexOperation& operation, std::uint32_t& index) {
    AudioStatus status = status::ok;
    auto waiter = issue(
        [&](Waiter* w) { return operation(context_, &PulseAudioConnection::onIndex, w); }, status);
    if (!waiter) return status;
    if (const AudioStatus answered = wait(waiter)) return answered;
    index = waiter->index;
    return refresh();
}

AudioStatus PulseAudioConnection::refresh() {
    if (!mainloop_ || onLoopThread() || !isConnected()) return status::notRunning;
    std::uint64_t ticket = 0;
    {
        LoopLock lock(mainloop_);
        ticket = ++requestedSnapshots_;
        startRefresh();
    }
    return waitForSnapshot(ticket);
}

AudioStatus PulseAudioConnection::waitForSnapshot(std::uint64_t ticket) {
    std::unique_lock lock(mutex_);
    const bool delivered =
        changed_.wait_for(lock, timeout_, [&] { return deliveredSnapshot_ >= ticket || lost_; });
    if (deliveredSnapshot_ >= ticket) return status::ok;
    return delivered ? status::notRunning : status::unspecified;
}

void PulseAudioConnection::complete(Waiter* key, bool success, std::uint32_t index) {
    auto it = waiters_.find(key);
    if (it == waiters_.end()) return;  // the caller gave up waiting
    const std::shared_ptr<Waiter> waiter = std::move(it->second);
    waiters_.erase(it);
    std::lock_guard lock(mutex_);
    waiter->done = true;
    waiter->success = success;
    waiter->index = index;
    changed_.notify_all();
}

void PulseAudioConnection::failEveryWaiter() {
    std::lock_guard lock(mutex_);
    for (auto& [key, waiter] : waiters_) waiter->done = true;
    waiters_.clear();
    changed_.notify_all();
}

// --- loop thread ----------------------------------------------------------------------------

void PulseAudioConnection::onContextState(pa_context* context, void* self) {
    // The loop's thread blocks every signal; its first callback lets a crash be recorded there.
    acceptCrashSignals();
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        {
            std::lock_guard lock(connection.mutex_);
            connection.ready_ = true;
            connection.lost_ = false;
            connection.changed_.notify_all();
        }
        connection.retryDelay_ = kFirstRetry;
        if (connection.everReady_) {
            connection.subscribe();
            ++connection.requestedSnapshots_;
            connection.startRefresh();
        }
        connection.everReady_ = true;
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        connection.serverLost();
    }
}

// The server went away, or a new attempt to reach it failed.
void PulseAudioConnection::serverLost() {
    bool wasConnected = false;
    {
        std::lock_guard lock(mutex_);
        wasConnected = !lost_;
        lost_ = true;
    }
    failEveryWaiter();
    // A snapshot under way never completes; the next connection starts its own.
    refreshing_ = false;
    refreshPending_ = false;
    outstandingParts_ = 0;
    building_ = PulseAudioSnapshot{};
    if (wasConnected && onLost_) onLost_();
    // Only a server that was there once is waited for: a first connection that fails is the
    // caller's answer.
    if (everReady_) scheduleRetry();
}

void PulseAudioConnection::scheduleRetry() {
    if (stopping_ || retry_) return;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when),
                   static_cast<pa_usec_t>(retryDelay_.count()) * PA_USEC_PER_MSEC);
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
    retry_ = api->time_new(api, &when, &PulseAudioConnection::onRetry, this);
}

void PulseAudioConnection::onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                   void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    api->time_free(event);
    connection.retry_ = nullptr;
    if (connection.stopping_) return;
    if (pa_context* old = std::exchange(connection.context_, nullptr)) {
        pa_context_set_state_callback(old, nullptr, nullptr);
        pa_context_set_subscribe_callback(old, nullptr, nullptr);
        pa_context_disconnect(old);
        pa_context_unref(old);
    }
    // A failure shows in the new context's state, or at once here.
    if (!connection.connectContext()) connection.serverLost();
}

void PulseAudioConnection::onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t,
                                   void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    ++connection.requestedSnapshots_;
    connection.startRefresh();
}

void PulseAudioConnection::onSuccess(pa_context*, int success, void* waiter) {
    auto* w = static_cast<Waiter*>(waiter);
    w->connection->complete(w, success != 0, PA_INVALID_INDEX);
}

void PulseAudioConnection::onIndex(pa_context*, std::uint32_t index, void* waiter) {
    auto* w = static_cast<Waiter*>(waiter);
    w->connection->complete(w, index != PA_INVALID_INDEX, index);
}

void PulseAudioConnection::startRefresh() {
    if (refreshing_) {
        refreshPending_ = true;
        return;
    }
    refreshing_ = true;
    refreshPending_ = false;
    runningSnapshot_ = requestedSnapshots_;
    building_ = PulseAudioSnapshot{};
    outstandingParts_ = kSnapshotParts;
    pa_operation* ops[kSnapshotParts] = {
        pa_context_get_server_info(context_, &PulseAudioConnection::onServerInfo, this),
        pa_context_get_sink_info_list(context_, &PulseAudioConnection::onSinkInfo, this),
        pa_context_get_source_info_list(context_, &PulseAudioConnection::onSourceInfo, this),
        pa_context_get_module_info_list(context_, &PulseAudioConnection::onModuleInfo, this),
        pa_context_get_card_info_list(context_, &PulseAudioConnection::onCardInfo, this),
    };
    for (pa_operation* op : ops) {
        if (op) {
            pa_operation_unref(op);
        } else {
            partOfRefreshDone();
        }
    }
}

void PulseAudioConnection::partOfRefreshDone() {
    if (--outstandingParts_ > 0) return;
    refreshing_ = false;
    if (onSnapshot_) onSnapshot_(std::move(building_));
    building_ = PulseAudioSnapshot{};
    {
        std::lock_guard lock(mutex_);
        deliveredSnapshot_ = runningSnapshot_;
        changed_.notify_all();
    }
    if (refreshPending_) startRefresh();
}

void PulseAudioConnection::onServerInfo(pa_context*, const pa_server_info* info, void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    if (info) {
        connection.building_.defaultSinkName = text(info->default_sink_name);
        connection.building_.defaultSourceName = text(info->default_source_name);
    }
    connection.partOfRefreshDone();
}

void PulseAudioConnection::onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    if (eol != 0 || !info) return connection.partOfRefreshDone();
    PulseAudioEndpoint sink = endpointFrom(*info, true);
    sink.monitorSourceName = text(info->monitor_source_name);
    connection.building_.sinks.push_back(std::move(sink));
}

void PulseAudioConnection::onSourceInfo(pa_context*, const pa_source_info* info, int eol,
                                        void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    if (eol != 0 || !info) return connection.partOfRefreshDone();
    PulseAudioEndpoint source = endpointFrom(*info, false);
    source.monitorOfSink = info->monitor_of_sink;
    connection.building_.sources.push_back(std::move(source));
}

void PulseAudioConnection::onModuleInfo(pa_context*, const pa_module_info* info, int eol,
                                        void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    if (eol != 0 || !info) return connection.partOfRefreshDone();
    connection.building_.modules.push_back({info->index, text(info->name), text(info->argument)});
}

void PulseAudioConnection::onCardInfo(pa_context*, const pa_card_info* info, int eol, void* self) {
    auto& connection = *static_cast<PulseAudioConnection*>(self);
    if (eol != 0 || !info) return connection.partOfRefreshDone();
    connection.building_.cards.push_back({info->index, text(info->name)});
}

}  // namespace pex::coreaudio
