#include "crashreporter/network/CRSBaseAsyncOperation.h"

#include <future>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "crashreporter/network/NetworkTestSupport.h"

namespace pex {
namespace {

// Work that ends when the test says so.
class ManualOperation : public CRSBaseAsyncOperation {
  public:
    ManualOperation() : CRSBaseAsyncOperation("ManualOperation") {}
    int mainRuns = 0;

  protected:
    void main() override { ++mainRuns; }
};

struct Recorder {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(std::string event) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
};

TEST(CRSBaseAsyncOperationTest, RunsThroughExecutingToFinishedTellingObservers) {
    auto operation = std::make_shared<ManualOperation>();
    Recorder recorder;
    operation->addStateObserver([&](const std::string& key, bool didChange) {
        recorder.add((didChange ? "did " : "will ") + key);
    });
    std::promise<void> completed;
    operation->setCompletionBlock([&] { completed.set_value(); });
    ErrorRef seen = Error::make("x", 0);
    int completions = 0;
    operation->setAsyncCompletion([&](const ErrorRef& error) {
        ++completions;
        seen = error;
    });
    EXPECT_TRUE(operation->isAsynchronous());
    EXPECT_EQ(operation->lockName(), "com.beacon.crashreporter.ManualOperation-lock");

    operation->start();
    EXPECT_EQ(operation->mainRuns, 1);
    EXPECT_TRUE(operation->isExecuting());
    EXPECT_FALSE(operation->isFinished());

    operation->finishWithError(nullptr);
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(seen, nullptr);
    auto future = completed.get_future();
    EXPECT_TRUE(test::ready(future));
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"will isExecuting", "did isExecuting", "will isExecuting",
                                        "did isExecuting", "will isFinished", "did isFinished"}));

    // The finished state is final: a second finish changes no flag.
    operation->finishWithError(nullptr);
    EXPECT_EQ(recorder.events.size(), 6u);
}

TEST(CRSBaseAsyncOperationTest, CancelledBeforeStartFinishesWithoutMainOrCompletion) {
    auto operation = std::make_shared<ManualOperation>();
    int completions = 0;
    operation->setAsyncCompletion([&](const ErrorRef&) { ++completions; });
    operation->cancel();
    operation->start();
    EXPECT_EQ(operation->mainRuns, 0);
    EXPECT_EQ(completions, 0);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
}

}  // namespace
}  // namespace pex
