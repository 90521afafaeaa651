#include "platform/foundation/DispatchQueue.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

constexpr const char* kMainLabel = "main";
constexpr const char* kGlobalLabel = "global";
// A drain job runs at most this many items before it goes back to the pool's line, so one busy
// queue cannot keep the others off the shared threads.
constexpr int kItemsPerDrain = 64;

// The engine behind serial and concurrent queues: a FIFO of items, run by drain jobs on the
// shared WorkerPool, at most `width` at once (one for a serial queue). Drain jobs hold the
// engine, so submitted work outlives the last queue handle.
class QueueEngine : public std::enable_shared_from_this<QueueEngine> {
  public:
    QueueEngine(std::string label, std::size_t width, QualityOfService qos)
        : label_(std::move(label)), width_(width), qos_(qos) {}

    const std::string& label() const { return label_; }

    void submit(DispatchQueue::Work work, bool barrier) {
        std::lock_guard lock(mutex_);
        items_.push_back(Item{std::move(work), barrier});
        scheduleDrainLocked();
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

    // One drain job waiting in the pool's line is enough to pick up the head; more start only
    // as items actually run side by side.
    void scheduleDrainLocked() {
        if (!canTakeHeadLocked() || scheduled_ > 0 || scheduled_ + active_ >= width_) return;
        ++scheduled_;
        WorkerPool::shared().submit([self = shared_from_this()] { self->drain(); }, qos_);
    }

    void drain() {
        const QueueEngine* outer = current;
        current = this;
        std::unique_lock lock(mutex_);
        --scheduled_;
        ++active_;
        for (int run = 0; run < kItemsPerDrain && canTakeHeadLocked(); ++run) {
            Item item = std::move(items_.front());
            items_.pop_front();
            ++running_;
            if (item.barrier) barrierRunning_ = true;
            scheduleDrainLocked();  // more items may run beside this one
            lock.unlock();
            item.work();
            item.work = nullptr;  // captures (perhaps this queue's last handle) go now
            lock.lock();
            --running_;
            if (item.barrier) barrierRunning_ = false;
        }
        --active_;
        scheduleDrainLocked();  // what is left goes back in line behind other queues
        lock.unlock();
        current = outer;
    }

    const std::string label_;
    const std::size_t width_;
    const QualityOfService qos_;
    std::mutex mutex_;
    std::deque<Item> items_;
    std::size_t scheduled_ = 0;  // drain jobs waiting in the pool
    std::size_t active_ = 0;     // drain jobs running
    std::size_t running_ = 0;    // items running
    bool barrierRunning_ = false;
};

thread_local const QueueEngine* QueueEngine::current = nullptr;

std::size_t concurrentWidth() {
    return std::max<std::size_t>(4, std::thread::hardware_concurrency());
}

const char* qosSuffix(QualityOfService qos) {
    switch (qos) {
        case QualityOfService::Background:
            return ".background";
        case QualityOfService::Utility:
            return ".utility";
        case QualityOfService::Default:
            return "";
        case QualityOfService::UserInitiated:
            return ".user-initiated";
        case QualityOfService::UserInteractive:
            return ".user-interactive";
    }
    return "";
}

}  // namespace

struct DispatchQueue::Impl {
    Impl(Kind kind, std::string label, std::size_t width, QualityOfService qos)
        : kind(kind),
          label(label),
          qos(qos),
          engine(kind == Kind::Main ? nullptr
                                    : std::make_shared<QueueEngine>(std::move(label), width, qos)) {
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
    const QualityOfService qos;
    const std::shared_ptr<QueueEngine> engine;
};

DispatchQueue DispatchQueue::serial(std::string label, QualityOfService qos) {
    return DispatchQueue(std::make_shared<Impl>(Kind::Serial, std::move(label), 1, qos));
}

DispatchQueue DispatchQueue::concurrent(std::string label, QualityOfService qos) {
    return DispatchQueue(
        std::make_shared<Impl>(Kind::Concurrent, std::move(label), concurrentWidth(), qos));
}

// The shared queues are never destroyed: work may be submitted to them while the process exits.
DispatchQueue DispatchQueue::main() {
    static auto* impl = new std::shared_ptr<Impl>(
        std::make_shared<Impl>(Kind::Main, kMainLabel, 0, QualityOfService::UserInteractive));
    return DispatchQueue(*impl);
}

DispatchQueue DispatchQueue::global(QualityOfService qos) {
    static auto* impls = [] {
        auto* made = new std::array<std::shared_ptr<Impl>, 5>;
        for (std::size_t level = 0; level < made->size(); ++level) {
            const auto each = static_cast<QualityOfService>(level);
            (*made)[level] = std::make_shared<Impl>(Kind::Concurrent,
                                                    std::string(kGlobalLabel) + qosSuffix(each),
                                                    concurrentWidth(), each);
        }
        return made;
    }();
    return DispatchQueue((*impls)[static_cast<std::size_t>(qos)]);
}

const std::string& DispatchQueue::label() const {
    return impl_->label;
}

DispatchQueue::Kind DispatchQueue::kind() const {
    return impl_->kind;
}

QualityOfService DispatchQueue::qos() const {
    return impl_->qos;
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
        throw DispatchDeadlock("sync on queue \"" + impl_->label +
                               "\" from its own work would never return");
    }
    // Once the pool has stopped (the process is ending) nothing else runs on a queue: the work
    // runs here, as a wait for it would never end.
    const bool pooled = impl_->kind != Kind::Main;
    if (pooled && WorkerPool::shared().isStopped()) {
        work();
        return;
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
    if (!pooled) {
        finished.wait(lock, [&] { return done; });
    } else {
        // The pool may stop between the check above and the submission; it stops only when
        // nothing runs, so the item then never ran and never will.
        constexpr auto kStopCheck = std::chrono::milliseconds(20);
        while (!finished.wait_for(lock, kStopCheck, [&] { return done; })) {
            if (!WorkerPool::shared().isStopped()) continue;
            lock.unlock();
            work();
            return;
        }
    }
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
