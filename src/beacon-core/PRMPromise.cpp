#include "beacon-core/PRMPromise.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/foundation/Exception.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

struct DefaultQueue {
    std::mutex mutex;
    DispatchQueue queue = DispatchQueue::main();
};

DefaultQueue& defaultQueue() {
    static auto* shared = new DefaultQueue;  // promise work may run while the process exits
    return *shared;
}

}  // namespace

DispatchQueue PRMPromise::defaultDispatchQueue() {
    DefaultQueue& shared = defaultQueue();
    std::lock_guard lock(shared.mutex);
    return shared.queue;
}

void PRMPromise::setDefaultDispatchQueue(DispatchQueue queue) {
    DefaultQueue& shared = defaultQueue();
    std::lock_guard lock(shared.mutex);
    shared.queue = std::move(queue);
}

DispatchGroup& PRMPromise::dispatchGroup() {
    static auto* group = new DispatchGroup;
    return *group;
}

PRMPromise::PRMPromise(PendingTag) {
    dispatchGroup().enter();
}

PRMPromise::PRMPromise(const PRMValue& resolution) {
    if (resolution.isError()) {
        state_ = State::Rejected;
        error_ = resolution.error();
    } else {
        state_ = State::Fulfilled;
        value_ = resolution;
    }
}

// A promise released while pending no longer keeps the group busy.
PRMPromise::~PRMPromise() {
    if (state_ == State::Pending) dispatchGroup().leave();
}

PRMPromiseRef PRMPromise::pendingPromise() {
    return PRMPromiseRef(new PRMPromise(PendingTag{}));
}

PRMPromiseRef PRMPromise::resolvedWith(PRMValue resolution) {
    return PRMPromiseRef(new PRMPromise(resolution));
}

PRMPromiseRef PRMPromise::makePending() const {
    return pendingPromise();
}

void PRMPromise::madeBy(const DispatchQueue& queue, const PRMPromiseRef& upstream) {
    resolvingQueue_ = queue;
    upstream_ = upstream;
}

PRMPromise::State PRMPromise::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

PRMValue PRMPromise::value() const {
    std::lock_guard lock(mutex_);
    return value_;
}

ErrorRef PRMPromise::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void PRMPromise::fulfill(PRMValue value) {
    if (value.isError()) return reject(value.error());
    resolve(State::Fulfilled, std::move(value), nullptr);
}

void PRMPromise::reject(ErrorRef error) {
    if (!error) raiseAssertionFailure("Invalid error type.", __func__, __FILE__, __LINE__);
    resolve(State::Rejected, PRMValue(), std::move(error));
}

void PRMPromise::resolve(State state, PRMValue value, ErrorRef error) {
    // What the resolution drops is released after the lock: it may own other promises.
    std::unique_ptr<std::vector<Observer>> observers;
    std::unique_ptr<std::vector<std::shared_ptr<const void>>> pendingObjects;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Pending) return;
        state_ = state;
        value_ = std::move(value);
        error_ = std::move(error);
        pendingObjects = std::move(pendingObjects_);
        observers = std::move(observers_);
        // Observers only queue work, so calling them under the lock is quick and keeps the
        // order in which they were added.
        if (observers)
            for (const Observer& observer : *observers) observer(state_, value_, error_);
        dispatchGroup().leave();
    }
}

void PRMPromise::addPendingObject(std::shared_ptr<const void> object) {
    PEX_PARAMETER_ASSERT(object, "object");
    std::lock_guard lock(mutex_);
    if (state_ != State::Pending) return;
    if (!pendingObjects_)
        pendingObjects_ = std::make_unique<std::vector<std::shared_ptr<const void>>>();
    pendingObjects_->push_back(std::move(object));
}

void PRMPromise::observe(const DispatchQueue& queue, Fulfill onFulfill, Reject onReject) {
    PEX_PARAMETER_ASSERT(onFulfill, "onFulfill");
    PEX_PARAMETER_ASSERT(onReject, "onReject");
    auto dispatch = [queue, onFulfill = std::move(onFulfill), onReject = std::move(onReject)](
                        State state, const PRMValue& value, const ErrorRef& error) {
        if (state == State::Fulfilled) {
            dispatchGroup().async(queue, [onFulfill, value] { onFulfill(value); });
        } else {
            dispatchGroup().async(queue, [onReject, error] { onReject(error); });
        }
    };
    std::lock_guard lock(mutex_);
    if (state_ != State::Pending) {
        dispatch(state_, value_, error_);
        return;
    }
    if (!observers_) observers_ = std::make_unique<std::vector<Observer>>();
    observers_->push_back(std::move(dispatch));
}

void PRMPromise::resolveFollowing(const PRMPromiseRef& promise, const DispatchQueue& queue,
                                  const PRMValue& resolution) {
    if (const PRMPromiseRef followed = resolution.promise()) {
        followed->observe(
            queue, [promise](const PRMValue& value) { promise->fulfill(value); },
            [promise](const ErrorRef& error) { promise->reject(error); });
        return;
    }
    promise->fulfill(resolution);
}

PRMPromiseRef PRMPromise::chain(const DispatchQueue& queue, ChainedFulfill chainedFulfill,
                                ChainedReject chainedReject) {
    PRMPromiseRef result = makePending();
    result->madeBy(queue, shared_from_this());
    observe(
        queue,
        [result, queue, chainedFulfill = std::move(chainedFulfill)](const PRMValue& value) {
            resolveFollowing(result, queue, chainedFulfill ? chainedFulfill(value) : value);
        },
        [result, queue, chainedReject = std::move(chainedReject)](const ErrorRef& error) {
            resolveFollowing(result, queue, chainedReject ? chainedReject(error) : PRMValue(error));
        });
    return result;
}

std::string PRMPromise::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    const std::string head = "<" + className() + " " + address + ">";
    std::lock_guard lock(mutex_);
    switch (state_) {
        case State::Pending:
            return head + " Pending";
        case State::Fulfilled:
            return head + " Fulfilled: " + value_.description();
        case State::Rejected:
            return head + " Rejected: " + error_->description();
    }
    return head;
}

PRMValue PRMPromiseCombineValuesAndErrors(const std::vector<PRMPromiseRef>& promises) {
    PRMValue::Array combined;
    combined.reserve(promises.size());
    for (const PRMPromiseRef& promise : promises) {
        PEX_PARAMETER_ASSERT(!promise->isPending(), "!promise.isPending");
        if (promise->isFulfilled()) {
            PRMValue value = promise->value();
            combined.push_back(value.isNull() ? PRMValue::nullPlaceholder() : std::move(value));
        } else {
            combined.push_back(PRMValue(promise->error()));
        }
    }
    return PRMValue(std::move(combined));
}

bool PRMPromiseWaitForAll(double timeout) {
    using Steady = std::chrono::steady_clock;
    const auto deadline =
        Steady::now() + std::chrono::duration_cast<Steady::duration>(
                            std::chrono::duration<double>(timeout < 0 ? 0 : timeout));
    constexpr auto kStep = std::chrono::milliseconds(10);
    DispatchGroup& group = PRMPromise::dispatchGroup();
    if (group.wait(kStep)) return true;
    for (;;) {
        if (Steady::now() > deadline) return false;
        // Main-queue work must progress while the main thread waits for it.
        if (MainQueue::isMainThread()) {
            MainQueue::runUntil([] { return false; }, kStep);
        } else {
            std::this_thread::sleep_for(kStep);
        }
        if (group.wait(std::chrono::milliseconds(0))) return true;
    }
}

}  // namespace pex
