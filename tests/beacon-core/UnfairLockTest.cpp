#include "beacon-core/UnfairLock.h"

#include <map>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(UnfairLockTest, TwoThreadsAddingTenThousandEntriesEachLoseNone) {
    UnfairLock<std::map<int, int>> guarded;
    auto add = [&](int first) {
        for (int i = 0; i < 10000; ++i)
            guarded.withLock([&](std::map<int, int>& map) { map.emplace(first + i, i); });
    };
    std::thread one(add, 0), two(add, 10000);
    one.join();
    two.join();
    EXPECT_EQ(guarded.value().size(), 20000u);
    EXPECT_EQ(guarded.withLock([](auto& map) { return map.at(19999); }), 9999);
}

TEST(UnfairLockTest, ValueIsACopy) {
    UnfairLock<std::map<std::string, int>> guarded({{"a", 1}});
    auto copy = guarded.value();
    copy["a"] = 2;
    copy["b"] = 3;
    EXPECT_EQ(guarded.value(), (std::map<std::string, int>{{"a", 1}}));
}

TEST(UnfairLockTest, AThrowingBodyLeavesTheLockFreeAndItsChangesInPlace) {
    UnfairLock<std::vector<int>> guarded;
    EXPECT_THROW(guarded.withLock([](std::vector<int>& items) {
        items.push_back(1);
        throw std::runtime_error("failed half-way");
    }),
                 std::runtime_error);
    // Another thread can take the lock at once, and sees what the body did before it threw.
    std::vector<int> seen;
    std::thread([&] { seen = guarded.value(); }).join();
    EXPECT_EQ(seen, std::vector<int>{1});
}

}  // namespace
}  // namespace pex
