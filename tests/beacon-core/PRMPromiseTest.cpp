#include "beacon-core/PRMPromise.h"

#include <atomic>
#include <regex>
#include <thread>

#include "PromiseTestSupport.h"

namespace pex {
namespace {
using test::preconditionFailure;
using test::testError;

class PRMPromiseTest : public test::PromiseTest {};

TEST_F(PRMPromiseTest, ResolutionsAndWhatTheyResolveTo) {
    const ErrorRef error = testError();
    const PRMPromiseRef inner = PRMPromise::pendingPromise();
    struct Case {
        const char* name;
        std::function<PRMPromiseRef()> make;
        PRMPromise::State state;
        PRMValue expected;  // the value, or the error for a rejection
    };
    const Case cases[] = {
        {"resolvedWith error", [&] { return PRMPromise::resolvedWith(error); },
         PRMPromise::State::Rejected, error},
        {"resolvedWith null", [] { return PRMPromise::resolvedWith(nullptr); },
         PRMPromise::State::Fulfilled, PRMValue()},
        {"resolvedWith a promise", [&] { return PRMPromise::resolvedWith(inner); },
         PRMPromise::State::Fulfilled, inner},
        {"fulfill with an error",
         [&] {
             auto promise = PRMPromise::pendingPromise();
             promise->fulfill(error);
             return promise;
         },
         PRMPromise::State::Rejected, error},
        {"fulfill with a promise",
         [&] {
             auto promise = PRMPromise::pendingPromise();
             promise->fulfill(inner);
             return promise;
         },
         PRMPromise::State::Fulfilled, inner},
        {"pending", [] { return PRMPromise::pendingPromise(); }, PRMPromise::State::Pending,
         PRMValue()},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        const PRMPromiseRef promise = each.make();
        EXPECT_EQ(promise->state(), each.state);
        if (each.state == PRMPromise::State::Rejected) {
            EXPECT_EQ(promise->error(), each.expected.error());
            EXPECT_TRUE(promise->value().isNull());
        } else {
            EXPECT_TRUE(promise->value().isIdenticalTo(each.expected));
            EXPECT_EQ(promise->error(), nullptr);
        }
    }
    inner->fulfill(
        PRMValue::box(1));  // nothing followed it: the promises holding it stay as they are
}

TEST_F(PRMPromiseTest, TheFirstResolutionWinsAndObserversRunOnce) {
    const PRMPromiseRef promise = PRMPromise::pendingPromise();
    std::atomic<int> fulfilled{0}, rejected{0};
    promise->observe(
        queue, [&](const PRMValue&) { ++fulfilled; }, [&](const ErrorRef&) { ++rejected; });
    promise->fulfill(PRMValue::box(std::string("first")));
    promise->reject(testError());
    promise->fulfill(PRMValue::box(std::string("second")));
    ASSERT_TRUE(PRMPromiseWaitForAll(10));
    EXPECT_EQ(fulfilled, 1);
    EXPECT_EQ(rejected, 0);
    EXPECT_EQ(*promise->value().as<std::string>(), "first");
}

TEST_F(PRMPromiseTest, ObserversRunAsynchronouslyInRegistrationOrderOnASerialQueue) {
    const PRMPromiseRef promise = PRMPromise::pendingPromise();
    std::vector<int> order;
    for (int i = 0; i < 20; ++i) {
        promise->observe(
            queue, [&order, i](const PRMValue&) { order.push_back(i); },
            [](const ErrorRef&) { FAIL(); });
    }
    promise->fulfill(nullptr);
    // Registered after the resolution: still never run during the call, so never on the
    // registering thread (the queue has a thread of its own).
    std::thread::id ranOn;
    promise->observe(
        queue, [&](const PRMValue&) { ranOn = std::this_thread::get_id(); },
        [](const ErrorRef&) {});
    ASSERT_TRUE(PRMPromiseWaitForAll(10));
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
    EXPECT_NE(ranOn, std::thread::id());
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST_F(PRMPromiseTest, ObserversOnTheDefaultQueueRunOnTheMainThread) {
    const PRMPromiseRef promise = PRMPromise::resolvedWith(PRMValue::box(5));
    std::thread::id ranOn;
    auto next = promise->then([&](const PRMValue& value) {
        ranOn = std::this_thread::get_id();
        return PRMValue::box(*value.as<int>() + 1);
    });
    ASSERT_TRUE(settle(next));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(*next->value().as<int>(), 6);
}

TEST_F(PRMPromiseTest, DescriptionsNameTheClassAddressAndResolution) {
    const PRMPromiseRef pending = PRMPromise::pendingPromise();
    EXPECT_TRUE(
        std::regex_match(pending->description(), std::regex("<PRMPromise 0x[0-9a-f]+> Pending")))
        << pending->description();
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(pending.get()));
    EXPECT_NE(pending->description().find(address), std::string::npos);

    EXPECT_TRUE(std::regex_match(PRMPromise::resolvedWith(PRMValue::box(42))->description(),
                                 std::regex("<PRMPromise 0x[0-9a-f]+> Fulfilled: 42")));
    EXPECT_NE(PRMPromise::resolvedWith(nullptr)->description().find("> Fulfilled: (null)"),
              std::string::npos);
    const ErrorRef error = testError(3);
    EXPECT_NE(
        PRMPromise::resolvedWith(error)->description().find("> Rejected: " + error->description()),
        std::string::npos);
    pending->fulfill(nullptr);

    struct Subclass : PRMPromise {
        Subclass() : PRMPromise(PendingTag{}) {}
        std::string className() const override { return "BCNSubclassPromise"; }
    };
    auto sub = std::make_shared<Subclass>();
    EXPECT_EQ(sub->description().rfind("<BCNSubclassPromise 0x", 0), 0u);
    sub->fulfill(nullptr);
}

TEST_F(PRMPromiseTest, PendingObjectsLiveUntilTheResolution) {
    const PRMPromiseRef promise = PRMPromise::pendingPromise();
    auto kept = std::make_shared<int>(1);
    std::weak_ptr<int> watch = kept;
    promise->addPendingObject(std::move(kept));
    EXPECT_FALSE(watch.expired());
    promise->fulfill(nullptr);
    EXPECT_TRUE(watch.expired());

    auto late = std::make_shared<int>(2);
    std::weak_ptr<int> lateWatch = late;
    promise->addPendingObject(std::move(late));
    EXPECT_TRUE(lateWatch.expired());
}

TEST_F(PRMPromiseTest, ThePendingCountOfTheGroup) {
    EXPECT_TRUE(PRMPromiseWaitForAll(0));  // nothing outstanding: true at once
    {
        const PRMPromiseRef created = PRMPromise::resolvedWith(PRMValue::box(1));  // never counts
        EXPECT_TRUE(PRMPromiseWaitForAll(0));
    }
    PRMPromiseRef pending = PRMPromise::pendingPromise();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PRMPromiseWaitForAll(0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
    pending.reset();  // destroyed unresolved: leaves the group
    EXPECT_TRUE(PRMPromiseWaitForAll(1));

    // Work queued on the main queue counts until the main thread runs it, which waiting does.
    auto observed = PRMPromise::resolvedWith(PRMValue::box(1))->then([](const PRMValue& value) {
        return value;
    });
    EXPECT_TRUE(PRMPromiseWaitForAll(10));
    EXPECT_TRUE(observed->isFulfilled());
}

TEST_F(PRMPromiseTest, ChainFollowsReturnedPromisesAndTurnsErrorsIntoRejections) {
    const PRMPromiseRef source = PRMPromise::resolvedWith(PRMValue::box(1));
    const PRMPromiseRef later = PRMPromise::pendingPromise();
    const ErrorRef error = testError();

    auto toError = source->chain(
        queue, [&](const PRMValue&) { return PRMValue(error); }, nullptr);
    auto toPromise = source->chain(
        queue, [&](const PRMValue&) { return PRMValue(later); }, nullptr);
    auto passThrough = PRMPromise::resolvedWith(error)->chain(queue, nullptr, nullptr);
    auto recovered = PRMPromise::resolvedWith(error)->chain(
        queue, nullptr, [](const ErrorRef&) { return PRMValue::box(9); });

    ASSERT_TRUE(settle(toError));
    EXPECT_EQ(toError->error(), error);
    ASSERT_TRUE(settle(passThrough));
    EXPECT_EQ(passThrough->error(), error);
    ASSERT_TRUE(settle(recovered));
    EXPECT_EQ(*recovered->value().as<int>(), 9);
    EXPECT_TRUE(toPromise->isPending());
    later->fulfill(PRMValue::box(2));
    ASSERT_TRUE(settle(toPromise));
    EXPECT_EQ(*toPromise->value().as<int>(), 2);
}

TEST_F(PRMPromiseTest, BrokenPreconditionsNameTheParameter) {
    const PRMPromiseRef promise = PRMPromise::pendingPromise();
    const auto ignoreValue = [](const PRMValue&) {};
    const auto ignoreError = [](const ErrorRef&) {};
    const auto same = [](const PRMValue& value) { return value; };
    struct Case {
        std::string expected;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"Invalid parameter not satisfying: onFulfill",
         [&] { promise->observe(queue, nullptr, ignoreError); }},
        {"Invalid parameter not satisfying: onReject",
         [&] { promise->observe(queue, ignoreValue, nullptr); }},
        {"Invalid parameter not satisfying: object", [&] { promise->addPendingObject(nullptr); }},
        {"Invalid error type.", [&] { promise->reject(nullptr); }},
        {"Invalid parameter not satisfying: work", [&] { promise->then(queue, nullptr); }},
        {"Invalid parameter not satisfying: reject", [&] { promise->catchError(nullptr); }},
        {"Invalid parameter not satisfying: work", [&] { promise->always(nullptr); }},
        {"Invalid parameter not satisfying: recovery", [&] { promise->recover(nullptr); }},
        {"Invalid parameter not satisfying: predicate", [&] { promise->validate(nullptr); }},
        {"Invalid parameter not satisfying: reducer",
         [&] { promise->reduce({PRMValue()}, nullptr); }},
        {"Invalid parameter not satisfying: work", [&] { PRMPromise::async(queue, nullptr); }},
        {"Invalid parameter not satisfying: work", [&] { PRMPromise::doWork(queue, nullptr); }},
        {"Invalid parameter not satisfying: work", [&] { PRMPromise::retry(queue, nullptr); }},
        {"Invalid parameter not satisfying: work",
         [&] { PRMPromise::wrapBoolCompletion(queue, nullptr); }},
        {"No promises to observe", [&] { PRMPromise::race(queue, {}); }},
        {"Invalid parameter not satisfying: promise", [&] { PRMPromiseAwait(nullptr); }},
        {"Invalid parameter not satisfying: !promise.isPending",
         [&] { PRMPromiseCombineValuesAndErrors({promise}); }},
    };
    for (const Case& each : cases) EXPECT_EQ(preconditionFailure(each.call), each.expected);
    EXPECT_TRUE(promise->isPending());
    EXPECT_EQ(preconditionFailure([&] { promise->then(queue, same); }), "");
    promise->fulfill(nullptr);
}

TEST_F(PRMPromiseTest, TheDefaultQueueIsReadAtTheCall) {
    EXPECT_EQ(PRMPromise::defaultDispatchQueue(), DispatchQueue::main());
    PRMPromise::setDefaultDispatchQueue(queue);
    std::atomic<bool> onQueue{false};
    auto next = PRMPromise::resolvedWith(PRMValue::box(1))->then([&](const PRMValue& value) {
        onQueue = queue.isCurrent();
        return value;
    });
    PRMPromise::setDefaultDispatchQueue(DispatchQueue::main());
    ASSERT_TRUE(settle(next));
    EXPECT_TRUE(onQueue);
}

// Many threads resolve and observe at once; run under ThreadSanitizer too.
TEST_F(PRMPromiseTest, ConcurrentResolutionAndObservationRunEachObserverOnce) {
    constexpr int kPromises = 200, kThreads = 4;
    std::vector<PRMPromiseRef> promises;
    for (int i = 0; i < kPromises; ++i) promises.push_back(PRMPromise::pendingPromise());
    const DispatchQueue concurrent = DispatchQueue::concurrent("promise.concurrent");
    std::atomic<int> calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPromises; ++i) {
                promises[i]->observe(
                    concurrent, [&](const PRMValue&) { ++calls; },
                    [&](const ErrorRef&) { ++calls; });
                if (i % kThreads == t) promises[i]->fulfill(PRMValue::box(i));
                promises[i]->reject(testError());  // always too late or racing: first wins
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(calls, kPromises * kThreads);
}

}  // namespace
}  // namespace pex
