#include "beacon-core/Promise.h"

#include <random>
#include <stdexcept>
#include <thread>

#include "PromiseTestSupport.h"
#include "beacon-core/Promises.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {
using test::preconditionFailure;
using test::testError;

class PromiseTypedTest : public test::PromiseTest {};

TEST_F(PromiseTypedTest, AVoidPromiseCarriesANonNullUnitValueAndResolvesOnce) {
    Promise<void> promise = Promise<void>::pending();
    EXPECT_TRUE(promise.isPending());
    EXPECT_EQ(promise.description(), "Pending: void");
    promise.fulfill();
    EXPECT_TRUE(promise.isFulfilled());
    EXPECT_FALSE(promise.objCPromise()->value().isNull());
    EXPECT_EQ(promise.value(), PromiseVoid{});
    promise.reject(testError());
    promise.fulfill();
    EXPECT_TRUE(promise.isFulfilled());
    EXPECT_EQ(promise.description(), "Fulfilled: ()");
}

TEST_F(PromiseTypedTest, ConversionsOfOptionalsPlaceholdersAndErrors) {
    Promise<std::optional<int>> optional = Promise<std::optional<int>>::pending();
    optional.fulfill(std::nullopt);
    EXPECT_TRUE(optional.objCPromise()->value().isNull());
    EXPECT_EQ(optional.value(), std::nullopt);
    EXPECT_EQ(optional.description(), "Fulfilled: nil");

    Promise<PromiseNullPlaceholder> placeholder = Promise<PromiseNullPlaceholder>::pending();
    placeholder.fulfill(PromiseNullPlaceholder{});
    EXPECT_TRUE(placeholder.objCPromise()->value().isNullPlaceholder());

    const ErrorRef error = testError();
    Promise<ErrorRef> errorValue = Promise<ErrorRef>::pending();
    errorValue.fulfill(error);  // an error value rejects
    EXPECT_TRUE(errorValue.isRejected());
    EXPECT_EQ(errorValue.error()->error(), error);

    Promise<std::vector<std::optional<int>>> array =
        Promise<std::vector<std::optional<int>>>::pending();
    array.fulfill({1, std::nullopt, 3});
    EXPECT_TRUE(array.objCPromise()->value().array()[1].isNullPlaceholder());
    EXPECT_EQ(array.value(), (std::vector<std::optional<int>>{1, std::nullopt, 3}));

    Promise<int> pending = Promise<int>::pending();
    EXPECT_EQ(pending.description(), "Pending: int");
    EXPECT_EQ(pending.value(), std::nullopt);
    pending.fulfill(5);
    EXPECT_EQ(pending.value(), 5);
    EXPECT_EQ(pending.description(), "Fulfilled: 5");
}

TEST_F(PromiseTypedTest, PromiseErrorMapsBothWays) {
    Promise<int> timedOut = Promise<int>::pending();
    timedOut.reject(PromiseError(PromiseError::timedOut));
    const ErrorRef core = timedOut.objCPromise()->error();
    EXPECT_EQ(core->domain(), "com.beacon.PRMPromises.Error");
    EXPECT_EQ(core->code(), 1);
    EXPECT_TRUE(*timedOut.error() == PromiseError(PromiseError::timedOut));
    EXPECT_EQ(timedOut.description(), "Rejected: PromiseError.timedOut");
    EXPECT_EQ(PromiseError(PromiseError::validationFailure).platformError()->code(), 2);

    struct Case {
        ErrorRef error;
        std::optional<PromiseError> mapped;
    };
    const Case cases[] = {
        {Error::make("com.beacon.PRMPromises.Error", 1), PromiseError::timedOut},
        {Error::make("com.beacon.PRMPromises.Error", 2), PromiseError::validationFailure},
        {Error::make("com.beacon.PRMPromises.Error", 3), std::nullopt},
        {Error::make("com.example.other", 1), std::nullopt},
    };
    for (const Case& each : cases) {
        auto rejected = Promise<int>::rejected(each.error);
        EXPECT_EQ(rejected.error()->promiseError(), each.mapped) << each.error->description();
        EXPECT_EQ(rejected.error()->error(), each.error);  // unmapped errors stay themselves
    }
}

TEST_F(PromiseTypedTest, AValueThatDoesNotConvertIsABrokenPrecondition) {
    Promise<int> wrong(PRMPromise::resolvedWith(PRMValue::box(std::string("text"))));
    EXPECT_EQ(preconditionFailure([&] { (void)wrong.value(); }), "promise value text is not a int");
    EXPECT_EQ(preconditionFailure([] { (void)Promise<int>(PRMPromiseRef{}); }),
              "Invalid parameter not satisfying: objCPromise");
    // A number of another width converts, as number objects do.
    Promise<double> widened(PRMPromise::resolvedWith(PRMValue::box(std::int64_t{3})));
    EXPECT_EQ(widened.value(), 3.0);
}

TEST_F(PromiseTypedTest, ConstructorsFromAResolution) {
    const PRMPromiseRef core = PRMPromise::pendingPromise();
    auto followsPromise = Promise<int>::resolved([&] { return Promise<int>(core); });
    EXPECT_EQ(followsPromise.objCPromise(), core);
    auto throws = Promise<int>::resolved([]() -> int { throw std::runtime_error("boom"); });
    EXPECT_TRUE(throws.isRejected());
    EXPECT_EQ(throws.error()->error()->domain(), kPromiseExceptionDomain);
    EXPECT_EQ(throws.error()->error()->code(), 0);
    EXPECT_EQ(throws.error()->error()->localizedDescription(), "boom");
    auto throwsSdkError = Promise<int>::resolved([]() -> int { throw ThrownError(testError(4)); });
    EXPECT_EQ(throwsSdkError.error()->error()->code(), 4);
    auto plain = Promise<int>::resolved([] { return 8; });
    EXPECT_EQ(plain.value(), 8);
    auto outcome = Promise<int>::resolved([] { return PromiseResult<int>(testError(5)); });
    EXPECT_EQ(outcome.error()->error()->code(), 5);
    core->fulfill(PRMValue::box(1));
}

TEST_F(PromiseTypedTest, AsyncAndDoKeepTheFirstResolution) {
    auto twice = Promise<int>::async(queue, [](auto fulfill, auto) {
        fulfill(1);
        fulfill(2);
    });
    auto throwsAfter = Promise<int>::async(queue, [](auto fulfill, auto) {
        fulfill(3);
        throw std::runtime_error("late");
    });
    auto throwsFirst = Promise<int>::async(
        queue, [](auto, auto) { throw ThrownError(PromiseError::validationFailure); });
    auto rejects = Promise<void>::async(queue, [](auto, auto reject) { reject(testError(6)); });
    auto done = Promise<std::string>::doWork(queue, [] { return std::string("done"); });
    auto followed =
        Promise<int>::doWork(queue, [] { return Promise<int>::resolved([] { return 9; }); });
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(twice.value(), 1);
    EXPECT_EQ(throwsAfter.value(), 3);
    EXPECT_TRUE(*throwsFirst.error() == PromiseError(PromiseError::validationFailure));
    EXPECT_EQ(rejects.error()->error()->code(), 6);
    EXPECT_EQ(done.value(), "done");
    EXPECT_EQ(followed.value(), 9);
}

TEST_F(PromiseTypedTest, TheSDKsOwnExceptionInTypedWorkRejects) {
    const auto sdkFailure = [] { throw Exception("com.beacon.core", "bad options"); };
    auto resolved = Promise<int>::resolved([&]() -> int {
        sdkFailure();
        return 0;
    });
    auto async = Promise<int>::async(queue, [&](auto, auto) { sdkFailure(); });
    auto work = Promise<void>::doWork(queue, sdkFailure);
    auto chained = Promise<int>::resolved([] { return 1; }).then(queue, [&](int) { sdkFailure(); });
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    for (const PRMPromiseRef& core :
         {resolved.objCPromise(), async.objCPromise(), work.objCPromise(), chained.objCPromise()}) {
        ASSERT_TRUE(core->isRejected());
        EXPECT_EQ(core->error()->domain(), kPromiseExceptionDomain);
        EXPECT_EQ(core->error()->localizedDescription(), "com.beacon.core: bad options");
    }
}

TEST_F(PromiseTypedTest, ThenFormsCatchAlwaysRecoverValidate) {
    auto source = Promise<int>::resolved([] { return 4; });
    auto doubled = source.then(queue, [](int value) { return value * 2; });
    auto delayed = source.delay(queue, 0);
    auto text = source.then(queue, [](int value) {
        return Promise<std::string>::resolved([value] { return std::to_string(value); });
    });
    std::atomic<int> sideEffects{0};
    auto noResult = source.then(queue, [&](int) { ++sideEffects; });
    auto noResultThrows = source.then(queue, [](int) { throw ThrownError(testError(8)); });
    auto rejected = Promise<int>::rejected(testError(2));
    auto skipped = rejected.then(queue, [&](int) { ++sideEffects; });

    auto timedOut = Promise<int>::pending();
    std::optional<TypedError> caught;
    auto afterTimeout = timedOut.timeout(queue, 0).catchError(
        queue, [&](const TypedError& error) { caught = error; });
    auto recovered = source.validate(queue, [](int value) { return value > 10; })
                         .recover(queue, [](const TypedError& error) {
                             return error == PromiseError(PromiseError::validationFailure) ? 99 : 0;
                         });
    std::atomic<int> alwaysRuns{0};
    auto always = rejected.always(queue, [&] { ++alwaysRuns; });
    ASSERT_TRUE(test::runMainUntil([&] { return !afterTimeout.isPending(); }));
    timedOut.fulfill(1);  // too late: the time-out has decided
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(doubled.value(), 8);
    EXPECT_EQ(delayed.value(), 4);
    EXPECT_EQ(text.value(), "4");
    EXPECT_EQ(noResult.value(), 4);
    EXPECT_EQ(noResultThrows.error()->error()->code(), 8);
    EXPECT_EQ(skipped.error()->error()->code(), 2);
    EXPECT_EQ(sideEffects, 1);
    ASSERT_TRUE(caught);
    EXPECT_TRUE(*caught == PromiseError(PromiseError::timedOut));
    EXPECT_TRUE(*afterTimeout.error() == PromiseError(PromiseError::timedOut));
    EXPECT_EQ(recovered.value(), 99);
    EXPECT_EQ(alwaysRuns, 1);
    EXPECT_EQ(always.error()->error()->code(), 2);
}

TEST_F(PromiseTypedTest, ReduceFoldsOnTheDefaultQueueAndStopsAtAThrow) {
    Promises::setDefaultQueue(queue);
    EXPECT_EQ(PRMPromise::defaultDispatchQueue(), queue);  // one storage for both
    auto start = Promise<int>::resolved([] { return 1; });
    auto same = start.reduce(std::vector<int>{}, [](int, int) { return Promise<int>::pending(); });
    EXPECT_EQ(same.objCPromise(), start.objCPromise());
    std::atomic<int> calls{0};
    auto stopped = start.reduce(std::vector<int>{1, 2, 3}, [&](int partial, int item) {
        if (++calls == 2) throw std::runtime_error("second");
        return Promise<int>::resolved([=] { return partial + item; });
    });
    auto sum = start.reduce(std::vector<int>{2, 3}, [](int partial, int item) {
        return Promise<int>::resolved([=] { return partial + item; });
    });
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(stopped.error()->error()->localizedDescription(), "second");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(sum.value(), 6);
}

TEST_F(PromiseTypedTest, AllAnyAndRace) {
    auto empty = Promises::all(queue, std::vector<Promise<int>>{});
    EXPECT_TRUE(empty.isFulfilled());
    EXPECT_EQ(empty.value(), std::vector<int>{});

    auto first = Promise<int>::pending();
    auto failing = Promise<std::string>::rejected(testError(3));
    auto pairFails = Promises::all(queue, first, failing);
    auto second = Promise<std::string>::resolved([] { return std::string("b"); });
    auto pair = Promises::all(queue, first, second);
    auto triple = Promises::all(queue, first, second, Promise<void>::resolved([] {}));

    auto outcomes =
        Promises::any(queue, std::vector<Promise<int>>{Promise<int>::resolved([] { return 1; }),
                                                       Promise<int>::rejected(testError(9))});
    auto mixed = Promises::any(queue, Promise<int>::resolved([] { return 2; }), failing);
    auto raced = Promises::race(queue, std::vector<Promise<int>>{Promise<int>::pending(), first});

    ASSERT_TRUE(test::runMainUntil([&] { return !pairFails.isPending(); }));
    EXPECT_EQ(pairFails.error()->error()->code(), 3);  // without waiting for `first`
    first.fulfill(7);
    ASSERT_TRUE(test::runMainUntil([&] {
        return !pair.isPending() && !triple.isPending() && !outcomes.isPending() &&
               !mixed.isPending() && !raced.isPending();
    }));
    EXPECT_EQ(pair.value(), std::make_tuple(7, std::string("b")));
    EXPECT_EQ(std::get<0>(*triple.value()), 7);
    ASSERT_TRUE(outcomes.value());
    ASSERT_EQ(outcomes.value()->size(), 2u);
    EXPECT_EQ((*outcomes.value())[0], Maybe<int>::fromValue(1));
    EXPECT_EQ((*outcomes.value())[1].error()->code(), 9);
    EXPECT_EQ((*outcomes.value())[1], Maybe<int>::fromError(testError(9)));
    EXPECT_FALSE((*outcomes.value())[0] == (*outcomes.value())[1]);
    EXPECT_EQ(std::get<0>(*mixed.value()).value(), 2);
    EXPECT_EQ(std::get<1>(*mixed.value()).error()->code(), 3);
    EXPECT_EQ(raced.value(), 7);
    EXPECT_EQ(preconditionFailure([&] { Promises::race(queue, std::vector<Promise<int>>{}); }),
              "No promises to observe");
}

TEST_F(PromiseTypedTest, RetryAwaitAndWrap) {
    std::atomic<int> runs{0};
    std::vector<std::int64_t> left;
    auto failing = Promises::retry(
        queue, 2, 0,
        [&](std::int64_t retriesLeft, const ErrorRef&) {
            left.push_back(retriesLeft);
            return true;
        },
        [&] { return Promise<int>::rejected(testError(++runs)); });
    ASSERT_TRUE(test::runMainUntil([&] { return !failing.isPending(); }));
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(failing.error()->error()->code(), 3);
    EXPECT_EQ(left, (std::vector<std::int64_t>{2, 1}));

    EXPECT_EQ(Promises::awaitValue(Promise<int>::resolved([] { return 5; })), 5);
    try {
        Promises::awaitValue(Promise<int>::rejected(PromiseError::timedOut));
        FAIL() << "no throw";
    } catch (const ThrownError& thrown) {
        EXPECT_EQ(thrown.error()->domain(), "com.beacon.PRMPromises.Error");  // unmapped
        EXPECT_EQ(thrown.error()->code(), 1);
    }
    EXPECT_EQ(Promises::awaitValue(
                  Promise<std::optional<int>>::resolved([] { return std::optional<int>(); })),
              std::nullopt);

    const ErrorRef error = testError(4);
    auto both = Promises::wrapValueOrError<int>(queue, [&](auto done) { done(1, error); });
    auto twice = Promises::wrap<int>(queue, [](auto done) {
        done(1);
        done(2);
    });
    auto optional = Promises::wrapOptional<int>(queue, [](auto done) { done(std::nullopt); });
    auto errorFirst =
        Promises::wrapErrorOrOptional<int>(queue, [](auto done) { done(nullptr, 3); });
    auto pair = Promises::wrapPairOrError<int, std::string>(
        queue, [](auto done) { done(std::nullopt, std::string("x"), nullptr); });
    auto empty = Promises::wrapEmpty(queue, [](auto done) { done(); });
    auto thrown = Promises::wrap<int>(queue, [](auto) { throw std::runtime_error("no"); });
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(both.error()->error(), error);
    EXPECT_EQ(twice.value(), 1);
    EXPECT_TRUE(optional.isFulfilled());
    EXPECT_EQ(optional.value(), std::nullopt);
    EXPECT_EQ(errorFirst.value(), 3);
    EXPECT_EQ(pair.value(), std::make_tuple(std::optional<int>(), std::optional<std::string>("x")));
    EXPECT_TRUE(empty.isFulfilled());
    EXPECT_TRUE(empty.objCPromise()->value().isNull());
    EXPECT_EQ(thrown.error()->error()->localizedDescription(), "no");
}

// The telemetry transport's start flow: one pending Promise<void> per subscriber, fulfilled in
// any order from several threads; `all` on the default queue, then a no-result `then` on a
// background queue runs once with every unit value. Run under ThreadSanitizer too.
TEST_F(PromiseTypedTest, SubscribersFulfilledFromSeveralThreadsStartTheFlowOnce) {
    constexpr int kSubscribers = 64, kThreads = 4;
    std::vector<Promise<void>> subscribers;
    for (int i = 0; i < kSubscribers; ++i) subscribers.push_back(Promise<void>::pending());
    std::atomic<int> runs{0};
    std::atomic<std::size_t> unitValues{0};
    const DispatchQueue background = DispatchQueue::global(QualityOfService::Background);
    auto started = Promises::all(Promises::defaultQueue(), subscribers)
                       .then(background, [&](const std::vector<PromiseVoid>& values) {
                           ++runs;
                           unitValues = values.size();
                       });
    std::vector<int> order(kSubscribers);
    for (int i = 0; i < kSubscribers; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int k = t; k < kSubscribers; k += kThreads) {
                subscribers[order[k]].fulfill();
                subscribers[order[k]].fulfill();  // a second fulfil changes nothing
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(test::runMainUntil([&] { return !started.isPending(); }));
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(unitValues, std::size_t{kSubscribers});
    EXPECT_EQ(started.value()->size(), std::size_t{kSubscribers});
}

}  // namespace
}  // namespace pex
