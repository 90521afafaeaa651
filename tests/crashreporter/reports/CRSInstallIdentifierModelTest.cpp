#include "crashreporter/reports/CRSInstallIdentifierModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <regex>
#include <thread>

#include "crashreporter/CRSUserDefaults.h"
#include "crashreporter/reports/CRSInstallations.h"
#include "crashreporter/reports/ReportsFixture.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {
namespace {

constexpr char kSha256OfAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// Answers on a queue of its own, as the installation service does; or, when told to hold,
// keeps the completions until the test delivers them (late or never).
class FakeInstallations : public CRSInstallations {
  public:
    std::optional<std::string> fid;
    ErrorRef error;
    std::optional<std::string> token = "auth-token";
    bool hold = false;

    void installationIDWithCompletion(IDCompletion completion) override {
        std::lock_guard guard(lock_);
        if (hold) {
            heldIDs_.push_back(std::move(completion));
            changed_.notify_all();
            return;
        }
        queue_.async([completion, fid = fid, error = error] { completion(fid, error); });
    }
    void authTokenWithCompletion(TokenCompletion completion) override {
        std::lock_guard guard(lock_);
        if (hold) {
            heldTokens_.push_back(std::move(completion));
            changed_.notify_all();
            return;
        }
        queue_.async([completion, token = token] { completion(token, nullptr); });
    }

    // Waits until both requests are held.
    void waitForHeldRequests() {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return !heldIDs_.empty() && !heldTokens_.empty(); });
    }
    void deliverHeldID(std::optional<std::string> lateFID) {
        std::vector<IDCompletion> held;
        {
            std::lock_guard guard(lock_);
            held.swap(heldIDs_);
        }
        for (auto& completion : held) completion(lateFID, nullptr);
    }
    void deliverHeldToken(std::optional<std::string> lateToken) {
        std::vector<TokenCompletion> held;
        {
            std::lock_guard guard(lock_);
            held.swap(heldTokens_);
        }
        for (auto& completion : held) completion(lateToken, nullptr);
    }

  private:
    DispatchQueue queue_ = DispatchQueue::serial("test.installations");
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<IDCompletion> heldIDs_;
    std::vector<TokenCompletion> heldTokens_;
};

class CRSInstallIdentifierModelTest : public test::ReportsTest {
  protected:
    CRSUserDefaults store_{root() / "store"};
    std::shared_ptr<FakeInstallations> installations_ = std::make_shared<FakeInstallations>();
};

TEST_F(CRSInstallIdentifierModelTest, MakesAndKeepsAnInstallUUID) {
    std::string first;
    {
        CRSInstallIdentifierModel model(installations_, store_);
        first = model.installID();
        EXPECT_TRUE(
            std::regex_match(first, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")))
            << first;
        EXPECT_EQ(store_.stringForKey(kCRSInstallUUIDKey), first);
    }
    // Written to disk at once: a later launch reads the same one.
    CRSUserDefaults nextLaunch(root() / "store");
    EXPECT_EQ(CRSInstallIdentifierModel(installations_, nextLaunch).installID(), first);
}

TEST_F(CRSInstallIdentifierModelTest, RotatesOnlyWhenTheInstallationIDChanges) {
    ScopedManualClock clock;  // the wait never needs the clock when answers come
    CRSInstallIdentifierModel model(installations_, store_);
    const std::string original = model.installID();
    struct Step {
        std::string fid;
        bool rotates;
    };
    const Step steps[] = {
        {"abc", false},    // the first FID is only remembered
        {"other", true},   // a changed FID rotates
        {"other", false},  // the same FID again changes nothing
        {"abc", true},
    };
    std::string previous = original;
    for (const Step& step : steps) {
        installations_->fid = step.fid;
        std::string seenFID;
        std::string seenToken;
        const bool rotated = model.regenerateInstallIDIfNeededWithBlock(
            [&](const std::string& fid, const std::string& token) {
                seenFID = fid;
                seenToken = token;
            });
        EXPECT_EQ(rotated, step.rotates) << step.fid;
        EXPECT_EQ(seenFID, step.fid);
        EXPECT_EQ(seenToken, "auth-token");
        EXPECT_EQ(model.installID() != previous, step.rotates) << step.fid;
        EXPECT_EQ(store_.stringForKey(kCRSInstallUUIDKey), model.installID());
        previous = model.installID();
    }
    EXPECT_EQ(store_.stringForKey(kCRSInstallIIDKey), kSha256OfAbc);
    EXPECT_EQ(CRSUserDefaults(root() / "store").stringForKey(kCRSInstallIIDKey), kSha256OfAbc);
}

TEST_F(CRSInstallIdentifierModelTest, ErrorsAndEmptyIDsChangeNothing) {
    CRSInstallIdentifierModel model(installations_, store_);
    store_.setString("legacy", kCRSInstallLegacyADIDKey);
    ASSERT_FALSE(model.rotateCrashReporterInstallUUIDWithIID("abc", nullptr));
    const std::string installID = model.installID();

    EXPECT_FALSE(model.rotateCrashReporterInstallUUIDWithIID("new", Error::make("test", 7)));
    EXPECT_FALSE(model.rotateCrashReporterInstallUUIDWithIID("", nullptr));
    EXPECT_FALSE(model.rotateCrashReporterInstallUUIDWithIID(std::nullopt, nullptr));
    EXPECT_EQ(model.installID(), installID);
    EXPECT_EQ(store_.stringForKey(kCRSInstallIIDKey), kSha256OfAbc);
    EXPECT_EQ(store_.objectForKey(kCRSInstallLegacyADIDKey), std::nullopt);
    EXPECT_TRUE(logged("Failed to get Beacon Instance ID: Error Domain=test Code=7"));
    EXPECT_TRUE(logged("Beacon Instance ID was empty when checked for changes"));
}

TEST_F(CRSInstallIdentifierModelTest, GivesUpAfterTenSecondsAndIgnoresLateAnswers) {
    ScopedManualClock clock;
    installations_->hold = true;
    auto model = std::make_unique<CRSInstallIdentifierModel>(installations_, store_);
    const std::string installID = model->installID();

    std::atomic<bool> done{false};
    std::string seenFID = "unset";
    std::string seenToken = "unset";
    bool rotated = true;
    std::thread caller([&] {
        rotated = model->regenerateInstallIDIfNeededWithBlock(
            [&](const std::string& fid, const std::string& token) {
                seenFID = fid;
                seenToken = token;
            });
        done = true;
    });
    installations_->waitForHeldRequests();
    installations_->deliverHeldToken("in-time-token");
    clock.clock().advance(std::chrono::milliseconds(9999));
    EXPECT_FALSE(done) << "still waiting before ten seconds";
    clock.clock().advance(std::chrono::milliseconds(1));
    caller.join();

    EXPECT_FALSE(rotated);
    EXPECT_EQ(seenFID, "");
    EXPECT_EQ(seenToken, "in-time-token");
    EXPECT_TRUE(logged("CrashReporter timed out while checking for Beacon Installation ID"));

    // The answer arrives after the caller gave up and the model is gone: it is ignored.
    model.reset();
    installations_->deliverHeldID("abc");
    EXPECT_EQ(store_.objectForKey(kCRSInstallIIDKey), std::nullopt);
    EXPECT_EQ(store_.stringForKey(kCRSInstallUUIDKey), installID);
}

}  // namespace
}  // namespace pex
