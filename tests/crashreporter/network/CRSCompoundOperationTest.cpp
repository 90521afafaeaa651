#include "crashreporter/network/CRSCompoundOperation.h"

#include <atomic>
#include <future>
#include <mutex>

#include <gtest/gtest.h>

#include "crashreporter/network/NetworkTestSupport.h"

namespace pex {
namespace {

// An operation whose work the test ends by hand, from its own thread.
class ManualOperation : public CRSBaseAsyncOperation {
  public:
    ManualOperation() : CRSBaseAsyncOperation("ManualOperation") {}
    std::atomic<int> mainRuns{0};

  protected:
    void main() override { ++mainRuns; }
};

class CRSCompoundOperationTest : public ::testing::Test {
  protected:
    CRSCompoundOperationTest() {
        for (auto& operation : parts_) operation = std::make_shared<ManualOperation>();
        compound_->setOperations({parts_[0], parts_[1], parts_[2]});
        compound_->setAsyncCompletion([this](const ErrorRef& error) {
            std::lock_guard lock(mutex_);
            outcomes_.push_back(error);
        });
    }

    std::size_t outcomeCount() {
        std::lock_guard lock(mutex_);
        return outcomes_.size();
    }
    bool allRunning() {
        for (const auto& part : parts_) {
            if (!part->isExecuting()) return false;
        }
        return true;
    }

    std::shared_ptr<ManualOperation> parts_[3];
    std::shared_ptr<CRSCompoundOperation> compound_ = std::make_shared<CRSCompoundOperation>();
    std::mutex mutex_;
    std::vector<ErrorRef> outcomes_;
};

TEST_F(CRSCompoundOperationTest, OneFailureOfThreeFinishesOnceWithTheCombinedError) {
    // Each operation's own completion still runs, before the compound's bookkeeping.
    std::atomic<int> ownCompletions{0};
    for (auto& part : parts_) part->setAsyncCompletion([&](const ErrorRef&) { ++ownCompletions; });

    compound_->start();
    ASSERT_TRUE(test::waitUntil([&] { return allRunning(); }));
    const ErrorRef failure = Error::make("test", 7);
    parts_[0]->finishWithError(nullptr);
    parts_[1]->finishWithError(failure);
    ASSERT_TRUE(test::waitUntil([&] { return compound_->completedOperations() == 1; }));
    EXPECT_FALSE(compound_->isFinished());
    EXPECT_EQ(outcomeCount(), 0u);

    parts_[2]->finishWithError(nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return compound_->isFinished(); }));
    // Every completion check has run by the time the parts' completion blocks are done; none
    // of the later ones finishes the compound again.
    EXPECT_FALSE(
        test::waitUntil([&] { return outcomeCount() > 1; }, std::chrono::milliseconds(100)));
    ASSERT_EQ(outcomeCount(), 1u);
    const ErrorRef error = outcomes_[0];
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), "com.beacon.crashreporter.CRSCompoundOperation.error");
    EXPECT_EQ(error->code(), 4294967293);
    const auto* combined = dynamic_cast<const CRSCompoundOperationError*>(error.get());
    ASSERT_NE(combined, nullptr);
    ASSERT_EQ(combined->underlyingErrors().size(), 1u);
    EXPECT_EQ(combined->underlyingErrors()[0], failure);
    EXPECT_EQ(error->userInfo()[kCRSCompoundOperationErrorUserInfoKeyUnderlyingErrors].size(), 1u);
    EXPECT_EQ(ownCompletions.load(), 3);
    EXPECT_EQ(compound_->completedOperations(), 2u);
}

TEST_F(CRSCompoundOperationTest, AllSucceedingFinishesOnceWithoutError) {
    compound_->start();
    ASSERT_TRUE(test::waitUntil([&] { return allRunning(); }));
    // Ending all three at once lets several completion checks see the full count.
    for (auto& part : parts_) part->finishWithError(nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return outcomeCount() >= 1; }));
    EXPECT_FALSE(
        test::waitUntil([&] { return outcomeCount() > 1; }, std::chrono::milliseconds(100)));
    ASSERT_EQ(outcomeCount(), 1u);
    EXPECT_EQ(outcomes_[0], nullptr);
    EXPECT_TRUE(compound_->isFinished());
}

TEST_F(CRSCompoundOperationTest, CancellingWhileRunningFinishesWithTheCancellationErrorOnce) {
    compound_->setName("settings-batch");
    compound_->start();
    ASSERT_TRUE(test::waitUntil([&] { return allRunning(); }));
    compound_->cancel();
    for (const auto& part : parts_) EXPECT_TRUE(part->isCancelled());
    // Running work decides itself when to stop; the first one that ends settles the compound.
    parts_[0]->finishWithError(nullptr);
    ASSERT_TRUE(test::waitUntil([&] { return outcomeCount() == 1; }));
    parts_[1]->finishWithError(nullptr);
    parts_[2]->finishWithError(Error::make("test", 1));
    EXPECT_FALSE(
        test::waitUntil([&] { return outcomeCount() > 1; }, std::chrono::milliseconds(100)));
    ASSERT_NE(outcomes_[0], nullptr);
    EXPECT_EQ(outcomes_[0]->code(), 4294967294);
    EXPECT_EQ(outcomes_[0]->localizedDescription(), "settings-batch cancelled");
    EXPECT_EQ(compound_->asyncCompletion(), nullptr);
}

TEST_F(CRSCompoundOperationTest, CancellingBeforeStartEndsEveryPartWithoutRunningIt) {
    compound_->cancel();
    ASSERT_TRUE(test::waitUntil([&] {
        return parts_[0]->isFinished() && parts_[1]->isFinished() && parts_[2]->isFinished();
    }));
    compound_->start();
    EXPECT_TRUE(compound_->isFinished());
    for (const auto& part : parts_) EXPECT_EQ(part->mainRuns.load(), 0);
    EXPECT_EQ(outcomeCount(), 0u);  // cancelled before start: no completion runs
}

}  // namespace
}  // namespace pex
