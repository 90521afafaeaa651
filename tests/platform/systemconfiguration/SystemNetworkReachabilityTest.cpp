#include "platform/systemconfiguration/SystemNetworkReachability.h"

#include <sched.h>
#include <sys/wait.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/systemconfiguration/FakeNetworkReachability.h"
#include "support/ChildLauncher.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRouteTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// A fake /proc/net with the given routes, and interface states of its own.
class RoutingTable {
  public:
    RoutingTable() { fs::create_directories(procNet()); }
    fs::path procNet() const { return dir_.path() / "proc-net"; }
    void setInterface(const std::string& name, const std::string& state) { states_[name] = state; }
    void setIpv4Routes(const std::string& rows) {
        std::ofstream(procNet() / "route") << kRouteTitles << rows;
    }
    void setIpv6Routes(const std::string& rows) { std::ofstream(procNet() / "ipv6_route") << rows; }
    std::optional<NetworkReachability::Flags> flags() const {
        return SystemNetworkReachability(procNet(),
                                         [states = states_] { return std::optional(states); })
            .currentFlags();
    }

  private:
    test::TempDir dir_;
    std::map<std::string, std::string> states_;
};

const std::string kIpv4Default = "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const std::string kIpv4Subnet = "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
const std::string kIpv6Default =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "fe800000000000000000000000000001 00000400 00000001 00000000 00000003 wlan0\n";
const std::string kIpv6Unreachable =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200 lo\n";

TEST(SystemNetworkReachabilityTest, ReachableOnlyThroughADefaultRouteOverAnInterfaceThatIsUp) {
    struct Case {
        const char* name;
        std::string ipv4;
        std::string ipv6;
        std::string eth0State;
        NetworkReachability::Flags expected;
    };
    const Case cases[] = {
        {"IPv4 default over an up link", kIpv4Subnet + kIpv4Default, "", "up", 2},
        {"IPv4 default over a down link", kIpv4Default, "", "down", 0},
        {"only a subnet route", kIpv4Subnet, "", "up", 0},
        {"IPv6 default only", "", kIpv6Default, "down", 2},
        {"IPv6 unreachable route on lo", "", kIpv6Unreachable, "up", 0},
        {"tunnel state unknown counts as up", kIpv4Default, "", "unknown", 2},
    };
    for (const Case& c : cases) {
        RoutingTable table;
        table.setInterface("eth0", c.eth0State);
        table.setInterface("wlan0", "up");
        table.setIpv4Routes(c.ipv4);
        table.setIpv6Routes(c.ipv6);
        EXPECT_EQ(table.flags(), c.expected) << c.name;
    }
}

TEST(SystemNetworkReachabilityTest, UnreadableRoutingTablesGiveNoFlags) {
    RoutingTable table;
    EXPECT_EQ(table.flags(), std::nullopt);
}

// Waits until the calling thread's namespace has the link `name` up (or no longer up).
bool linkStateBecomes(const std::string& name, bool up) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto states = SystemNetworkReachability::kernelInterfaceStates();
        if (states && states->count(name) && (states->at(name) == "up") == up) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The real backend in a network namespace of its own, entered by one thread (the process's
// other threads and /sys stay in the machine's): the routes and interfaces it judges are that
// thread's. Nothing is sent anywhere; the namespace's only link is a pair of virtual ends.
TEST(SystemNetworkReachabilityTest, TheKernelIsAskedAboutTheCallersOwnNamespace) {
    std::string skipped;
    std::vector<std::optional<NetworkReachability::Flags>> seen;
    std::optional<NetworkReachability::Flags> announced;
    std::thread inNamespace([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            skipped = std::string("no network namespace of its own: ") + std::strerror(errno);
            return;
        }
        auto ip = [](std::vector<std::string> arguments) {
            const pid_t child = test::launchChild(test::ChildLaunch("/usr/sbin/ip", arguments));
            int status = 0;
            return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                   WEXITSTATUS(status) == 0;
        };
        std::mutex mutex;
        std::condition_variable changed;
        DispatchQueue queue = DispatchQueue::serial("reachability.namespace.test");
        SystemNetworkReachability reachability;       // as the application makes it
        seen.push_back(reachability.currentFlags());  // a loopback that is down, no route
        ASSERT_TRUE(ip({"link", "add", "pexmora0", "type", "veth", "peer", "name", "pexmora1"}));
        ASSERT_TRUE(ip({"link", "set", "pexmora1", "up"}));
        ASSERT_TRUE(ip({"link", "set", "pexmora0", "up"}));
        // The kernel takes a moment to see the link carry.
        ASSERT_TRUE(linkStateBecomes("pexmora0", true));

        ASSERT_TRUE(reachability.setChangeHandler(queue, [&](NetworkReachability::Flags flags) {
            std::lock_guard lock(mutex);
            if (!announced) announced = flags;  // the first change
            changed.notify_all();
        }));
        ASSERT_TRUE(ip({"route", "add", "default", "dev", "pexmora0"}));
        {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::seconds(5), [&] { return announced.has_value(); });
        }
        seen.push_back(reachability.currentFlags());  // a default route over an up link
        // The other end goes down: the route stays, but leads nowhere.
        ASSERT_TRUE(ip({"link", "set", "pexmora1", "down"}));
        ASSERT_TRUE(linkStateBecomes("pexmora0", false));
        seen.push_back(reachability.currentFlags());
        reachability.setChangeHandler(queue, nullptr);
        queue.sync([] {});
    });
    inNamespace.join();
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    using Flags = std::optional<NetworkReachability::Flags>;
    EXPECT_EQ(seen, (std::vector<Flags>{0, NetworkReachability::kReachable, 0}));
    EXPECT_EQ(announced, NetworkReachability::kReachable);
}

TEST(SystemNetworkReachabilityTest, TheSystemStateCanBeReadAndWatched) {
    auto reachability = NetworkReachability::forAnyAddress();
    EXPECT_TRUE(reachability->currentFlags().has_value());
    EXPECT_TRUE(reachability->setChangeHandler(DispatchQueue::serial("test"), [](auto) {}));
}

TEST(FakeNetworkReachabilityTest, AChangeReachesTheHandlerOnItsQueue) {
    FakeNetworkReachability fake(0);
    DispatchQueue queue = DispatchQueue::serial("reachability.test");
    std::atomic<int> calls{0};
    std::atomic<std::uint32_t> seen{99};
    fake.setChangeHandler(queue, [&](NetworkReachability::Flags flags) {
        EXPECT_TRUE(queue.isCurrent());
        seen = flags;
        ++calls;
    });
    fake.setFlags(NetworkReachability::kReachable);
    fake.setFlags(NetworkReachability::kReachable);  // no change, no call
    queue.sync([] {});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, NetworkReachability::kReachable);
}

}  // namespace
}  // namespace pex
