#include "platform/foundation/DispatchQueue.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

constexpr const char* kMainLabel = "main";
constexpr const char* kGlobalLabel = "global";
// Idle workers wait this long for more work before their thread ends, so a queue fed in
// bursts does not start a thread per item.
constexpr auto kWorkerLinger = std::chrono::seconds(2);

// The engine behind serial and concurrent queues: a FIFO of items served by up to
// `maxWorkers` threads, started on demand. Serial queues have one worker. Workers hold the
// engine, so submitted work outlives the last queue handle.
class QueueEngine : public std::enable_shared_from_this<QueueEngine> {
  public:
    QueueEngine(std::string label, std::size_t maxWorkers)
        : label_(std::move(label)), maxWorkers_(maxWorkers) {}

    const std::string& label() const { return label_; }

    void submit(DispatchQueue::Work work, bool barrier) {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(work), barrier});
        wakeOrStartWorkerLocked();
    }

    // No handle is left: workers stop lingering once everything submitted has run.
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

    static thread_local const QueueEngine* current;

  private:
    struct Item {
        DispatchQueue::Work work;
        bool barrier = false;
    };

    bool canTakeHeadLocked() const {
        if (items_.empty() || barrierRunning_) return false;
        return !items_.front().barrier || running_ == 0;
    }

    void wakeOrStartWorkerLocked() {
        if (!canTakeHeadLocked()) return;
        if (idle_ > 0) {
            changed_.notify_one();
        } else if (workers_ < maxWorkers_) {
            ++workers_;
            std::thread([self = shared_from_this()] { self->workerLoop(); }).detach();
        }
    }

    void workerLoop() {
        current = this;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (canTakeHeadLocked()) {
                Item item = std::move(items_.front());
                items_.pop_front();
                ++running_;
                if (item.barrier) barrierRunning_ = true;
                wakeOrStartWorkerLocked();  // more items may run beside this one
                lock.unlock();
                item.work();
                item.work = nullptr;  // captures (perhaps this queue's last handle) go now
                lock.lock();
                --running_;
                if (item.barrier) barrierRunning_ = false;
                if (item.barrier || running_ == 0) changed_.notify_all();
                continue;
            }
            if (closed_ && items_.empty()) break;
            ++idle_;
            const bool woken = changed_.wait_for(lock, kWorkerLinger) == std::cv_status::no_timeout;
            --idle_;
            if (!woken && items_.empty()) break;
        }
        --workers_;
        current = nullptr;
    }

    const std::string label_;
    const std::size_t maxWorkers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    std::size_t workers_ = 0;
    std::size_t idle_ = 0;
    std::size_t running_ = 0;
    bool barrierRunning_ = false;
    bool closed_ = false;
};

thread_local const QueueEngine* QueueEngine::current = nullptr;

std::size_t concurrentWidth() {
    return std::max<std::size_t>(4, std::thread::hardware_concurrency());
}

#ifndef NDEBUG
[[noreturn]] void failSyncOnOwnQueue(const std::string& label) {
    std::fprintf(stderr, "pexmora: sync on queue \"%s\" from its own work would deadlock\n",
                 label.c_str());
    std::abort();
}
#endif

}  // namespace

struct DispatchQueue::Impl {
    Impl(Kind kind, std::string label, std::size_t width)
        : kind(kind),
          label(label),
          engine(kind == Kind::Main ? nullptr
                                    : std::make_shared<QueueEngine>(std::move(label), width)) {}
    ~Impl() {
        if (engine) engine->close();
    }

    void submit(Work work, bool barrier) const {
        if (engine) {
            engine->submit(std::move(work), barrier);
        } else {
            MainQueue::post(std::move(work));
        }
    }

    const Kind kind;
    const std::string label;
    const std::shared_ptr<QueueEngine> engine;
};

DispatchQueue DispatchQueue::serial(std::string label) {
    return DispatchQueue(std::make_shared<Impl>(Kind::Serial, std::move(label), 1));
}

DispatchQueue DispatchQueue::concurrent(std::string label) {
    return DispatchQueue(
        std::make_shared<Impl>(Kind::Concurrent, std::move(label), concurrentWidth()));
}

// The shared queues are never destroyed: work may be submitted to them while the process exits.
DispatchQueue DispatchQueue::main() {
    static auto* impl =
        new std::shared_ptr<Impl>(std::make_shared<Impl>(Kind::Main, kMainLabel, 0));
    return DispatchQueue(*impl);
}

DispatchQueue DispatchQueue::global() {
    static auto* impl = new std::shared_ptr<Impl>(
        std::make_shared<Impl>(Kind::Concurrent, kGlobalLabel, concurrentWidth()));
    return DispatchQueue(*impl);
}

const std::string& DispatchQueue::label() const {
    return impl_->label;
}

DispatchQueue::Kind DispatchQueue::kind() const {
    return impl_->kind;
}

void DispatchQueue::async(Work work) const {
    impl_->submit(std::move(work), false);
}

void DispatchQueue::asyncBarrier(Work work) const {
    impl_->submit(std::move(work), true);
}

void DispatchQueue::asyncAfter(Clock::Duration delay, Work work) const {
    if (delay <= Clock::Duration::zero()) {
        async(std::move(work));
        return;
    }
    std::shared_ptr<Clock> clock = Clock::current();
    // Like a submitted item, a delayed one keeps its queue's engine until it has run.
    clock->schedule(clock->now() + delay, [impl = impl_, work = std::move(work)]() mutable {
        impl->submit(std::move(work), false);
    });
}

void DispatchQueue::sync(const Work& work) const {
    const bool deadlocks = impl_->kind == Kind::Main ? MainQueue::isMainThread()
                                                     : impl_->kind == Kind::Serial && isCurrent();
    if (deadlocks) {
#ifndef NDEBUG
        failSyncOnOwnQueue(impl_->label);
#else
        work();  // would hang forever; running it here is the lesser harm
        return;
#endif
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    impl_->submit(
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(mutex);
            done = true;
            finished.notify_one();
        },
        false);
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
    if (failure) std::rethrow_exception(failure);
}

bool DispatchQueue::isCurrent() const {
    if (impl_->kind == Kind::Main) return MainQueue::isMainThread();
    return QueueEngine::current == impl_->engine.get();
}

std::string DispatchQueue::currentLabel() {
    if (QueueEngine::current) return QueueEngine::current->label();
    if (MainQueue::isMainThread()) return kMainLabel;
    return {};
}

}  // namespace pex
