#include "beacon-core/HeartbeatController.h"

#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include <gtest/gtest.h>

#include "beacon-core/BCNHeartbeatController.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using namespace std::chrono;

constexpr const char* kID = "1:123:linux:abc";
// 2024-01-02 00:00:00 GMT.
const system_clock::time_point kJan2{seconds(1704153600)};
constexpr HeartbeatDate kJan2Date = 1704153600.0 - 978307200.0;
constexpr HeartbeatDate kDay = 86400;

class HeartbeatControllerTest : public test::IsolatedTest {
  protected:
    HeartbeatController::WallClock clock() {
        return [this] { return now; };
    }
    // Waits until the store's queue has run everything submitted so far.
    static void drain(const HeartbeatController& controller) {
        controller.storage()->queue().sync([] {});
    }
    std::filesystem::path file() const { return FileStorage::fileFor(kID); }
    std::optional<HeartbeatsBundle> stored() const {
        std::ifstream in(file());
        if (!in) return std::nullopt;
        const auto json = nlohmann::json::parse(in, nullptr, false);
        return HeartbeatsBundle::fromJson(json);
    }

    system_clock::time_point now = kJan2 + hours(10);
};

TEST_F(HeartbeatControllerTest, TheFirstLogCreatesTheStoreWithTodaysHeartbeat) {
    EXPECT_EQ(file(), StandardFolders::applicationSupport() / "beacon-heartbeat-storage" /
                          "heartbeats-1_123_linux_abc");
    HeartbeatController controller(kID, clock());
    EXPECT_EQ(controller.storage()->queue().label(), "com.heartbeat.storage.1:123:linux:abc");
    controller.log("agent/1");
    drain(controller);
    const auto bundle = stored();
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->capacity(), 30);
    EXPECT_EQ(bundle->lastAddedHeartbeatDates().at(TimePeriod::daily), kJan2Date);
    ASSERT_EQ(bundle->buffer().elements().size(), 1u);
    EXPECT_EQ(bundle->buffer().elements()[0],
              (Heartbeat{"agent/1", kJan2Date, 0, {TimePeriod::daily}}));
    EXPECT_EQ(std::filesystem::status(file()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(HeartbeatControllerTest, AtMostOneHeartbeatPerGmtDay) {
    HeartbeatController controller(kID, clock());
    controller.log("a");
    now = kJan2 + hours(23) + minutes(59);
    controller.log("b");  // same GMT day, another agent: nothing
    now = kJan2 + hours(24);
    controller.log("c");  // exactly one day later
    now = kJan2 - hours(30);
    controller.log("d");  // clock set back: nothing until a full day after the last one
    now = kJan2 + hours(47);
    controller.log("e");  // still the day of "c"
    drain(controller);
    const auto heartbeats = stored()->buffer().elements();
    ASSERT_EQ(heartbeats.size(), 2u);
    EXPECT_EQ(heartbeats[0].agent, "a");
    EXPECT_EQ(heartbeats[1].agent, "c");
    EXPECT_EQ(heartbeats[1].date, kJan2Date + kDay);
}

TEST_F(HeartbeatControllerTest, MorningAtGmtPlusEightBelongsToThePreviousGmtDay) {
    // 2024-01-02 07:00 at GMT+8 is 2024-01-01 23:00 GMT.
    now = kJan2 - hours(1);
    HeartbeatController controller(kID, clock());
    controller.log("a");
    EXPECT_EQ(HeartbeatsPayload::dayText(controller.flush().userAgentPayloads()[0].dates[0]),
              "2024-01-01");
}

TEST_F(HeartbeatControllerTest, FlushGroupsByAgentEmptiesTheRingAndKeepsTheDates) {
    HeartbeatController controller(kID, clock());
    for (const char* agent : {"b", "a", "b"}) {
        controller.log(agent);
        now += hours(24);
    }
    const HeartbeatsPayload payload = controller.flush();
    ASSERT_EQ(payload.userAgentPayloads().size(), 2u);
    EXPECT_EQ(payload.userAgentPayloads()[0].agent, "a");
    EXPECT_EQ(payload.userAgentPayloads()[1].dates,
              (std::vector<HeartbeatDate>{kJan2Date, kJan2Date + 2 * kDay}));
    EXPECT_TRUE(stored()->buffer().elements().empty());
    EXPECT_TRUE(controller.flush().isEmpty());

    now -= hours(24);  // the day of the last heartbeat: still logged
    controller.log("x");
    EXPECT_TRUE(controller.flush().isEmpty());
    now += hours(24);
    controller.log("y");
    EXPECT_EQ(controller.flush().userAgentPayloads()[0].agent, "y");
}

TEST_F(HeartbeatControllerTest, FlushWithoutAStoreLeavesAnEmptyFile) {
    HeartbeatController controller(kID, clock());
    EXPECT_TRUE(controller.flush().isEmpty());
    EXPECT_EQ(std::filesystem::file_size(file()), 0u);
    controller.log("a");  // a zero-byte file reads as no bundle: a new one starts
    EXPECT_EQ(controller.flush().userAgentPayloads().size(), 1u);
}

TEST_F(HeartbeatControllerTest, UnreadableContentIsReplacedByANewBundle) {
    std::filesystem::create_directories(file().parent_path());
    std::ofstream(file()) << "{not json";
    HeartbeatController controller(kID, clock());
    controller.log("a");
    EXPECT_EQ(controller.flush().userAgentPayloads().size(), 1u);
}

TEST_F(HeartbeatControllerTest, TodaysFlushTakesOnlyTodaysHeartbeat) {
    HeartbeatController controller(kID, clock());
    controller.log("yesterday");
    now += hours(24);
    controller.log("today");
    const HeartbeatsPayload today = controller.flushHeartbeatFromToday();
    EXPECT_EQ(today, HeartbeatsPayload({{"today", {kJan2Date + kDay}}}));
    EXPECT_TRUE(controller.flushHeartbeatFromToday().isEmpty());
    controller.log("again");  // today still counts as logged
    EXPECT_EQ(controller.flush(), HeartbeatsPayload({{"yesterday", {kJan2Date}}}));
}

TEST_F(HeartbeatControllerTest, ThirtyOneDaysKeepTheLastThirty) {
    HeartbeatController controller(kID, clock());
    for (int day = 0; day < 31; ++day) {
        controller.log("a");
        now += hours(24);
    }
    const auto dates = controller.flush().userAgentPayloads()[0].dates;
    ASSERT_EQ(dates.size(), 30u);
    EXPECT_EQ(*std::min_element(dates.begin(), dates.end()), kJan2Date + kDay);
}

TEST_F(HeartbeatControllerTest, AsyncFlushDeliversOnTheStoreQueue) {
    HeartbeatController controller(kID, clock());
    controller.log("a");
    std::optional<HeartbeatsPayload> delivered;
    std::string label;
    controller.flushAsync([&](HeartbeatsPayload payload) {
        label = DispatchQueue::currentLabel();
        delivered = std::move(payload);
    });
    drain(controller);
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered->userAgentPayloads().size(), 1u);
    EXPECT_EQ(label, "com.heartbeat.storage.1:123:linux:abc");
}

TEST_F(HeartbeatControllerTest, SyncCallsOnTheStoreQueueFailInsteadOfHanging) {
    HeartbeatController controller(kID, clock());
    int deadlocks = 0;
    controller.flushAsync([&](HeartbeatsPayload) {
        try {
            controller.flush();
        } catch (const DispatchDeadlock&) {
            ++deadlocks;
        }
        try {
            controller.flushHeartbeatFromToday();
        } catch (const DispatchDeadlock&) {
            ++deadlocks;
        }
    });
    drain(controller);
    EXPECT_EQ(deadlocks, 2);
}

TEST_F(HeartbeatControllerTest, ControllersOfOneIdShareOneStoreUntilAllLetGo) {
    auto first = std::make_unique<BCNHeartbeatController>(kID, clock());
    auto second = std::make_unique<BCNHeartbeatController>(kID, clock());
    EXPECT_EQ(first->heartbeatController().storage(), second->heartbeatController().storage());
    first->log("shared");
    const BCNHeartbeatsPayload payload = second->flush();
    EXPECT_FALSE(payload.isEmpty());
    EXPECT_EQ(payload.heartbeatsPayload().userAgentPayloads()[0].agent, "shared");

    const HeartbeatStorage* old = first->heartbeatController().storage().get();
    std::weak_ptr<HeartbeatStorage> watch = first->heartbeatController().storage();
    first.reset();
    second.reset();
    EXPECT_TRUE(watch.expired());
    BCNHeartbeatController third("other-id", clock());
    EXPECT_TRUE(third.flush().isEmpty());
    EXPECT_FALSE(third.flush().headerValue().empty());
    (void)old;
}

TEST_F(HeartbeatControllerTest, ADyingStoreNeverDropsANewerStoreOfItsId) {
    std::shared_ptr<HeartbeatStorage> newer;
    HeartbeatStorage::setWillUnregisterHookForTesting([&](const std::string& id) {
        // Another thread asks for the id after the old store's last reference went away.
        if (!newer) newer = HeartbeatStorage::instanceForID(id);
    });
    auto old = HeartbeatStorage::instanceForID(kID);
    const HeartbeatStorage* oldAddress = old.get();
    old.reset();
    HeartbeatStorage::setWillUnregisterHookForTesting(nullptr);
    ASSERT_TRUE(newer);
    EXPECT_NE(newer.get(), oldAddress);
    // The registry still knows the newer store: a third user shares it, not a second file owner.
    EXPECT_EQ(HeartbeatStorage::instanceForID(kID), newer);
}

TEST_F(HeartbeatControllerTest, AFailedAtomicWriteKeepsTheOldFile) {
    HeartbeatController controller(kID, clock());
    controller.log("kept");
    drain(controller);
    const auto before = std::filesystem::file_size(file());

    // Let no file grow beyond 16 bytes, so the next write fails while reading still works.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto result = controller.storage()->exchangeSync([](auto bundle) {
        bundle->append(Heartbeat{"new", 99 * kDay, 0, {TimePeriod::daily}});
        return bundle;
    });
    const HeartbeatsPayload payload = controller.flush();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_TRUE(std::holds_alternative<StorageError>(result));
    EXPECT_EQ(std::get<StorageError>(result), StorageError::writeError);
    EXPECT_TRUE(payload.isEmpty());  // a failed save makes flush report nothing...
    EXPECT_EQ(std::filesystem::file_size(file()), before);
    EXPECT_EQ(controller.flush(),
              HeartbeatsPayload({{"kept", {HeartbeatController::startOfDay(now)}}}));
}

TEST_F(HeartbeatControllerTest, UserDefaultsStorageKeepsBytesUnderItsKey) {
    auto store = std::make_shared<HeartbeatStorage>(
        "suite-id", std::make_unique<UserDefaultsStorage>("com.beacon.heartbeats", "key"));
    EXPECT_TRUE(std::holds_alternative<std::optional<HeartbeatsBundle>>(
        store->exchangeSync([](auto) { return HeartbeatsBundle(30); })));
    const auto result = store->exchangeSync([](auto) { return std::nullopt; });
    const auto* old = std::get_if<std::optional<HeartbeatsBundle>>(&result);
    ASSERT_TRUE(old && *old);
    EXPECT_EQ((*old)->capacity(), 30);
    EXPECT_FALSE(UserDefaults::suite("com.beacon.heartbeats")->contains("key"));
}

}  // namespace
}  // namespace pex
