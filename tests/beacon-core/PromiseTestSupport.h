#pragma once
// Helpers for the promise tests: waiting for a promise while the main queue turns, and
// catching the precondition failures.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Exception.h"
#include "support/TestSupport.h"

namespace pex::test {

// Each test starts and ends with no promise work outstanding, on the main queue as default.
class PromiseTest : public ::testing::Test {
  protected:
    PromiseTest() {
        PRMPromise::setDefaultDispatchQueue(DispatchQueue::main());
        EXPECT_TRUE(PRMPromiseWaitForAll(10)) << "promise work left over from another test";
    }
    ~PromiseTest() override {
        EXPECT_TRUE(PRMPromiseWaitForAll(10)) << "promise work left over";
        PRMPromise::setDefaultDispatchQueue(DispatchQueue::main());
    }

    // Turns the main queue until `promise` is resolved (a hang guard, never a speed check).
    static bool settle(const PRMPromiseRef& promise) {
        return runMainUntil([&] { return !promise->isPending(); }, std::chrono::seconds(20));
    }

    DispatchQueue queue = DispatchQueue::serial("promise.test");
};

// The reason of the internal-inconsistency failure that `call` raises; "" when none.
inline std::string preconditionFailure(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& failure) {
        EXPECT_EQ(failure.name(), Exception::kInternalInconsistency);
        return failure.reason();
    }
    return "";
}

inline ErrorRef testError(std::int64_t code = 7) {
    return Error::make("com.example.test", code);
}

}  // namespace pex::test
