#include <atomic>
#include <random>
#include <thread>

#include "PromiseTestSupport.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using test::preconditionFailure;
using test::testError;

class PRMPromiseOperatorsTest : public test::PromiseTest {
  protected:
    // Waits until delayed work has been handed to the manual clock.
    static bool scheduled(ManualClock& clock, std::size_t count = 1) {
        return test::runMainUntil([&] { return clock.pendingCount() >= count; },
                                  std::chrono::seconds(20));
    }
    static PRMValue box(int number) { return PRMValue::box(number); }
    static int unbox(const PRMValue& value) { return value.as<int>() ? *value.as<int>() : -1; }
};

bool isPromiseError(const ErrorRef& error, std::int64_t code) {
    return error && error->domain() == "com.beacon.PRMPromises.Error" && error->code() == code &&
           error->userInfo().is_null();
}

TEST_F(PRMPromiseOperatorsTest, ThenCatchAlwaysRecoverAndValidate) {
    const ErrorRef error = testError();
    const PRMPromiseRef fulfilled = PRMPromise::resolvedWith(box(4));
    const PRMPromiseRef rejected = PRMPromise::resolvedWith(error);
    std::atomic<int> caught{0}, always{0}, thenCalls{0};

    auto thenError = fulfilled->then(queue, [&](const PRMValue&) { return PRMValue(error); });
    auto thenSkipped = rejected->then(queue, [&](const PRMValue& value) {
        ++thenCalls;
        return value;
    });
    auto caughtResult = rejected->catchError(queue, [&](const ErrorRef& seen) {
        EXPECT_EQ(seen, error);
        ++caught;
    });
    auto catchPassesValue = fulfilled->catchError(queue, [&](const ErrorRef&) { ++caught; });
    auto alwaysResult = rejected->always(queue, [&] { ++always; });
    auto recovered = rejected->recover(queue, [](const ErrorRef&) { return PRMValue::box(8); });
    auto valid =
        fulfilled->validate(queue, [](const PRMValue& value) { return *value.as<int>() == 4; });
    auto invalid = fulfilled->validate(queue, [](const PRMValue&) { return false; });

    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(thenError->error(), error);
    EXPECT_EQ(thenSkipped->error(), error);
    EXPECT_EQ(thenCalls, 0);
    EXPECT_EQ(caughtResult->error(), error);
    EXPECT_EQ(unbox(catchPassesValue->value()), 4);
    EXPECT_EQ(caught, 1);
    EXPECT_EQ(alwaysResult->error(), error);
    EXPECT_EQ(always, 1);
    EXPECT_EQ(unbox(recovered->value()), 8);
    EXPECT_EQ(unbox(valid->value()), 4);
    EXPECT_TRUE(isPromiseError(invalid->error(), 2));
}

TEST_F(PRMPromiseOperatorsTest, AsyncAndDoFollowWhatTheyAreGivenAndTheFirstCallWins) {
    const PRMPromiseRef later = PRMPromise::pendingPromise();
    std::atomic<bool> ranOnQueue{false};
    auto followed = PRMPromise::async(queue, [&](const auto& fulfill, const auto& reject) {
        ranOnQueue = queue.isCurrent();
        fulfill(later);
        fulfill(PRMValue::box(1));  // handing over a pending promise resolved nothing yet
        reject(testError());
    });
    auto rejected =
        PRMPromise::async(queue, [](const auto&, const auto& reject) { reject(testError(5)); });
    auto nothing = PRMPromise::doWork(queue, [] { return PRMValue(); });
    auto failed = PRMPromise::doWork(queue, [] { return PRMValue(testError(6)); });
    ASSERT_TRUE(settle(nothing));
    ASSERT_TRUE(settle(failed));
    ASSERT_TRUE(settle(rejected));
    EXPECT_TRUE(ranOnQueue);
    EXPECT_TRUE(nothing->isFulfilled());
    EXPECT_TRUE(nothing->value().isNull());
    EXPECT_EQ(failed->error()->code(), 6);
    EXPECT_EQ(rejected->error()->code(), 5);
    // fulfil(1) was a plain value and arrived before `later` resolved.
    ASSERT_TRUE(settle(followed));
    EXPECT_EQ(unbox(followed->value()), 1);
    later->fulfill(PRMValue::box(2));
}

TEST_F(PRMPromiseOperatorsTest, DelayWaitsOnTheClockButLetsRejectionsThrough) {
    ScopedManualClock manual;
    auto delayed = PRMPromise::resolvedWith(box(3))->delay(queue, 1.5);
    auto zero = PRMPromise::resolvedWith(box(4))->delay(queue, 0);
    auto rejected = PRMPromise::resolvedWith(testError())->delay(queue, 100);

    ASSERT_TRUE(settle(rejected));  // no clock advance needed
    ASSERT_TRUE(settle(zero));
    EXPECT_EQ(unbox(zero->value()), 4);
    ASSERT_TRUE(scheduled(manual.clock()));
    manual.clock().advance(milliseconds(1500) - nanoseconds(1));
    queue.sync([] {});
    EXPECT_TRUE(delayed->isPending());
    manual.clock().advance(nanoseconds(1));
    ASSERT_TRUE(settle(delayed));
    EXPECT_EQ(unbox(delayed->value()), 3);
}

TEST_F(PRMPromiseOperatorsTest, TimeoutCases) {
    ScopedManualClock manual;
    const PRMPromiseRef early = PRMPromise::pendingPromise();
    const PRMPromiseRef never = PRMPromise::pendingPromise();
    const PRMPromiseRef failing = PRMPromise::pendingPromise();
    auto fulfilledFirst = early->timeout(queue, 1);
    auto timedOut = never->timeout(queue, 1);
    auto rejectedFirst = failing->timeout(queue, 1);
    early->fulfill(box(1));
    failing->reject(testError(4));
    ASSERT_TRUE(settle(fulfilledFirst));
    ASSERT_TRUE(settle(rejectedFirst));
    EXPECT_TRUE(timedOut->isPending());
    manual.clock().advance(std::chrono::seconds(1));
    ASSERT_TRUE(settle(timedOut));
    EXPECT_EQ(unbox(fulfilledFirst->value()), 1);
    EXPECT_EQ(rejectedFirst->error()->code(), 4);
    EXPECT_TRUE(isPromiseError(timedOut->error(), 1));

    // The timer holds its result weakly: dropped early, it is simply gone when time is up.
    std::weak_ptr<PRMPromise> dropped;
    {
        const PRMPromiseRef source = PRMPromise::pendingPromise();
        dropped = source->timeout(queue, 1);
    }
    EXPECT_TRUE(dropped.expired());
    manual.clock().advance(std::chrono::seconds(1));
    never->fulfill(nullptr);
}

TEST_F(PRMPromiseOperatorsTest, AllCases) {
    const ErrorRef error = testError();
    const PRMPromiseRef pending = PRMPromise::pendingPromise();
    auto empty = PRMPromise::all(queue, {});
    EXPECT_TRUE(empty->isFulfilled());  // at once, nothing queued
    EXPECT_TRUE(empty->value().array().empty());

    auto values = PRMPromise::all(queue, {box(1), PRMPromise::resolvedWith(nullptr),
                                          PRMPromise::resolvedWith(box(3)), PRMValue::box(4)});
    auto errorElement = PRMPromise::all(queue, {pending, PRMValue(error), box(1)});
    auto rejectedAndPending =
        PRMPromise::all(queue, {pending, PRMPromise::resolvedWith(testError(2))});
    ASSERT_TRUE(settle(values));
    ASSERT_TRUE(settle(errorElement));
    ASSERT_TRUE(settle(rejectedAndPending));
    const auto& array = values->value().array();
    ASSERT_EQ(array.size(), 4u);
    EXPECT_EQ(unbox(array[0]), 1);
    EXPECT_TRUE(array[1].isNullPlaceholder());
    EXPECT_EQ(unbox(array[2]), 3);
    EXPECT_EQ(unbox(array[3]), 4);
    EXPECT_EQ(errorElement->error(), error);
    EXPECT_EQ(rejectedAndPending->error()->code(), 2);
    pending->fulfill(nullptr);
}

TEST_F(PRMPromiseOperatorsTest, AnyCases) {
    auto empty = PRMPromise::any(queue, {});
    EXPECT_TRUE(empty->isFulfilled());
    EXPECT_TRUE(empty->value().array().empty());

    auto allRejected =
        PRMPromise::any(queue, {PRMPromise::resolvedWith(testError(1)), PRMValue(testError(2))});
    const PRMPromiseRef slow = PRMPromise::pendingPromise();
    auto mixed = PRMPromise::any(
        queue, {PRMValue(testError(1)), slow, PRMValue(), PRMPromise::resolvedWith(testError(3))});
    ASSERT_TRUE(settle(allRejected));
    const auto code = allRejected->error()->code();
    EXPECT_TRUE(code == 1 || code == 2) << code;
    queue.sync([] {});
    EXPECT_TRUE(mixed->isPending());  // waits for every element
    slow->fulfill(box(5));
    ASSERT_TRUE(settle(mixed));
    const auto& array = mixed->value().array();
    ASSERT_EQ(array.size(), 4u);
    EXPECT_EQ(array[0].error()->code(), 1);
    EXPECT_EQ(unbox(array[1]), 5);
    EXPECT_TRUE(array[2].isNullPlaceholder());
    EXPECT_EQ(array[3].error()->code(), 3);
}

TEST_F(PRMPromiseOperatorsTest, RaceCases) {
    const PRMPromiseRef pending = PRMPromise::pendingPromise();
    auto plainWins = PRMPromise::race(
        queue, {PRMPromise::resolvedWith(box(1)), pending, box(2), PRMValue(testError())});
    auto errorWins = PRMPromise::race(queue, {pending, PRMValue(testError(8)), box(2)});
    const PRMPromiseRef slow = PRMPromise::pendingPromise();
    auto firstResolved = PRMPromise::race(queue, {slow, pending});
    ASSERT_TRUE(settle(plainWins));
    ASSERT_TRUE(settle(errorWins));
    EXPECT_EQ(unbox(plainWins->value()), 2);
    EXPECT_EQ(errorWins->error()->code(), 8);
    pending->fulfill(box(3));
    ASSERT_TRUE(settle(firstResolved));
    EXPECT_EQ(unbox(firstResolved->value()), 3);
    slow->fulfill(box(4));
}

TEST_F(PRMPromiseOperatorsTest, ReduceFoldsThroughEachItem) {
    const PRMPromiseRef start = PRMPromise::resolvedWith(box(1));
    EXPECT_EQ(
        start->reduce(queue, {}, [](const PRMValue& partial, const PRMValue&) { return partial; }),
        start);
    std::atomic<int> reducerCalls{0};
    auto sum = start->reduce(queue, {box(2), box(3), box(4)},
                             [&](const PRMValue& partial, const PRMValue& item) {
                                 ++reducerCalls;
                                 return box(unbox(partial) + unbox(item));
                             });
    auto stopped = start->reduce(queue, {box(2), box(3)}, [&](const PRMValue&, const PRMValue&) {
        ++reducerCalls;
        return PRMValue(testError(9));
    });
    ASSERT_TRUE(settle(sum));
    ASSERT_TRUE(settle(stopped));
    EXPECT_EQ(unbox(sum->value()), 10);
    EXPECT_EQ(stopped->error()->code(), 9);
    EXPECT_EQ(reducerCalls, 4);  // three for the sum, one before the rejection passed through
}

TEST_F(PRMPromiseOperatorsTest, RetryCountsAttemptsAndPausesOnTheClock) {
    ScopedManualClock manual;
    const auto caller = std::this_thread::get_id();
    std::atomic<int> runs{0};
    std::thread::id firstRunOn;
    auto twiceFailing = PRMPromise::retry(queue, [&] {
        if (++runs == 1) firstRunOn = std::this_thread::get_id();
        return PRMValue(testError(runs));
    });
    EXPECT_EQ(runs, 1);  // at the call, on the caller's thread
    EXPECT_EQ(firstRunOn, caller);
    ASSERT_TRUE(scheduled(manual.clock()));
    manual.clock().advance(milliseconds(999));
    queue.sync([] {});
    EXPECT_EQ(runs, 1);
    manual.clock().advance(milliseconds(1));
    ASSERT_TRUE(settle(twiceFailing));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(twiceFailing->error()->code(), 2);

    std::atomic<int> flakyRuns{0};
    auto recovers = PRMPromise::attempts(
        queue, 3, [&] { return ++flakyRuns == 1 ? PRMValue(testError()) : PRMValue::box(7); });
    ASSERT_TRUE(scheduled(manual.clock()));
    manual.clock().advance(std::chrono::seconds(1));
    ASSERT_TRUE(settle(recovers));
    EXPECT_EQ(unbox(recovers->value()), 7);
    EXPECT_EQ(flakyRuns, 2);

    // A failing promise counts as a failure too; the predicate sees the retries left.
    std::vector<std::int64_t> retriesSeen;
    std::atomic<int> refusedRuns{0};
    auto refused = PRMPromise::attempts(
        queue, 5, 0.25,
        [&](std::int64_t left, const ErrorRef&) {
            retriesSeen.push_back(left);
            return false;
        },
        [&] {
            ++refusedRuns;
            return PRMValue(PRMPromise::resolvedWith(testError(11)));
        });
    ASSERT_TRUE(settle(refused));  // no pause: the predicate said no
    EXPECT_EQ(refused->error()->code(), 11);
    EXPECT_EQ(refusedRuns, 1);
    EXPECT_EQ(retriesSeen, std::vector<std::int64_t>{5});

    std::atomic<int> noRetryRuns{0};
    auto none = PRMPromise::attempts(queue, 0, [&] {
        ++noRetryRuns;
        return PRMValue(testError());
    });
    EXPECT_TRUE(none->isRejected());
    EXPECT_EQ(noRetryRuns, 1);
    EXPECT_EQ(manual.clock().pendingCount(), 0u);
}

TEST_F(PRMPromiseOperatorsTest, AwaitGivesTheValueOrTheError) {
    ErrorRef error = testError();
    EXPECT_TRUE(PRMPromiseAwait(PRMPromise::resolvedWith(error), &error).isNull());
    EXPECT_EQ(error->code(), 7);

    const PRMPromiseRef later = PRMPromise::pendingPromise();
    std::thread resolver([&] {
        std::this_thread::sleep_for(milliseconds(20));
        later->fulfill(box(12));
    });
    ErrorRef none = testError();
    EXPECT_EQ(unbox(PRMPromiseAwait(later, &none)), 12);
    EXPECT_EQ(none, nullptr);
    resolver.join();
}

// Awaiting, from a serial queue, a promise whose resolution is work of that very queue would
// never return: it fails with a clear message instead.
TEST_F(PRMPromiseOperatorsTest, AwaitOnTheQueueItNeedsFailsInsteadOfHanging) {
    const PRMPromiseRef source = PRMPromise::pendingPromise();
    const PRMPromiseRef needsQueue =
        source->then(queue, [](const PRMValue& value) { return value; });
    std::string failure;
    queue.sync([&] { failure = preconditionFailure([&] { PRMPromiseAwait(needsQueue); }); });
    EXPECT_EQ(failure,
              "PRMPromiseAwait on queue \"promise.test\" would wait for work that only this "
              "queue can run");
    // The main queue likewise, for work of the default queue awaited on the main thread.
    const PRMPromiseRef onMain = source->then([](const PRMValue& value) { return value; });
    EXPECT_NE(preconditionFailure([&] { PRMPromiseAwait(onMain); }), "");
    source->fulfill(nullptr);
    ASSERT_TRUE(settle(onMain));
}

TEST_F(PRMPromiseOperatorsTest, CompletionWrappers) {
    const ErrorRef error = testError(3);
    struct Case {
        const char* name;
        PRMPromiseRef promise;
        std::function<void(const PRMPromiseRef&)> check;
    };
    auto rejectedWithError = [&](const PRMPromiseRef& promise) {
        EXPECT_EQ(promise->error(), error);
    };
    using P = PRMPromise;
    std::vector<Case> cases;
    cases.push_back({"plain", P::wrapCompletion(queue, [](auto done) { done(); }),
                     [](const PRMPromiseRef& p) { EXPECT_TRUE(p->value().isNull()); }});
    cases.push_back({"object",
                     P::wrapObjectCompletion(queue, [](auto done) { done(PRMValue::box(1)); }),
                     [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<int>(), 1); }});
    cases.push_back({"object that is an error",
                     P::wrapObjectCompletion(queue, [&](auto done) { done(PRMValue(error)); }),
                     rejectedWithError});
    cases.push_back({"error null", P::wrapErrorCompletion(queue, [](auto done) { done(nullptr); }),
                     [](const PRMPromiseRef& p) {
                         EXPECT_TRUE(p->isFulfilled());
                         EXPECT_TRUE(p->value().isNull());
                     }});
    cases.push_back({"error", P::wrapErrorCompletion(queue, [&](auto done) { done(error); }),
                     rejectedWithError});
    cases.push_back(
        {"object and error",
         P::wrapObjectOrErrorCompletion(queue, [&](auto done) { done(PRMValue::box(1), error); }),
         rejectedWithError});
    cases.push_back(
        {"object, no error",
         P::wrapObjectOrErrorCompletion(queue, [](auto done) { done(PRMValue::box(2), nullptr); }),
         [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<int>(), 2); }});
    cases.push_back(
        {"error and object",
         P::wrapErrorOrObjectCompletion(queue, [&](auto done) { done(error, PRMValue::box(1)); }),
         rejectedWithError});
    cases.push_back({"two objects, first null",
                     P::wrap2ObjectsOrErrorCompletion(
                         queue, [](auto done) { done(PRMValue(), PRMValue::box(2), nullptr); }),
                     [](const PRMPromiseRef& p) {
                         const auto& array = p->value().array();
                         ASSERT_EQ(array.size(), 2u);
                         EXPECT_TRUE(array[0].isNullPlaceholder());
                         EXPECT_EQ(*array[1].as<int>(), 2);
                     }});
    cases.push_back({"two objects and error",
                     P::wrap2ObjectsOrErrorCompletion(
                         queue, [&](auto done) { done(PRMValue(), PRMValue(), error); }),
                     rejectedWithError});
    cases.push_back({"bool false", P::wrapBoolCompletion(queue, [](auto done) { done(false); }),
                     [](const PRMPromiseRef& p) {
                         ASSERT_NE(p->value().as<bool>(), nullptr);
                         EXPECT_FALSE(*p->value().as<bool>());
                     }});
    cases.push_back({"bool and error",
                     P::wrapBoolOrErrorCompletion(queue, [&](auto done) { done(true, error); }),
                     rejectedWithError});
    cases.push_back(
        {"integer", P::wrapIntegerCompletion(queue, [](auto done) { done(-5); }),
         [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<std::int64_t>(), -5); }});
    cases.push_back({"integer, no error",
                     P::wrapIntegerOrErrorCompletion(queue, [](auto done) { done(6, nullptr); }),
                     [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<std::int64_t>(), 6); }});
    cases.push_back({"double", P::wrapDoubleCompletion(queue, [](auto done) { done(0.5); }),
                     [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<double>(), 0.5); }});
    cases.push_back({"double and error",
                     P::wrapDoubleOrErrorCompletion(queue, [&](auto done) { done(1.0, error); }),
                     rejectedWithError});
    cases.push_back({"handler called twice",
                     P::wrapIntegerCompletion(queue,
                                              [](auto done) {
                                                  done(1);
                                                  done(2);
                                              }),
                     [](const PRMPromiseRef& p) { EXPECT_EQ(*p->value().as<std::int64_t>(), 1); }});
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        ASSERT_TRUE(settle(each.promise));
        each.check(each.promise);
    }

    // The handler may be kept and called later from any thread.
    PRMPromise::IntegerDone kept;
    std::mutex keptMutex;
    auto later = P::wrapIntegerCompletion(queue, [&](auto done) {
        std::lock_guard lock(keptMutex);
        kept = done;
    });
    ASSERT_TRUE(test::runMainUntil([&] {
        std::lock_guard lock(keptMutex);
        return static_cast<bool>(kept);
    }));
    EXPECT_TRUE(later->isPending());
    std::thread([&] { kept(42); }).join();
    ASSERT_TRUE(settle(later));
    EXPECT_EQ(*later->value().as<std::int64_t>(), 42);
}

// Fulfilled in random order from several threads and combined on a concurrent queue; run
// under ThreadSanitizer too.
TEST_F(PRMPromiseOperatorsTest, AllAndAnyOverPromisesResolvedFromSeveralThreads) {
    constexpr int kCount = 1000, kThreads = 4;
    std::vector<PRMPromiseRef> promises;
    std::vector<PRMValue> elements;
    for (int i = 0; i < kCount; ++i) {
        promises.push_back(PRMPromise::pendingPromise());
        elements.push_back(promises.back());
    }
    const DispatchQueue concurrent = DispatchQueue::concurrent("promise.combine");
    auto all = PRMPromise::all(concurrent, elements);
    auto any = PRMPromise::any(concurrent, elements);
    std::vector<int> order(kCount);
    for (int i = 0; i < kCount; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = t; k < kCount; k += kThreads) promises[order[k]]->fulfill(box(order[k]));
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(settle(all));
    ASSERT_TRUE(settle(any));
    ASSERT_EQ(all->value().array().size(), std::size_t{kCount});
    ASSERT_EQ(any->value().array().size(), std::size_t{kCount});
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(unbox(all->value().array()[i]), i);
        EXPECT_EQ(unbox(any->value().array()[i]), i);
    }
}

}  // namespace
}  // namespace pex
