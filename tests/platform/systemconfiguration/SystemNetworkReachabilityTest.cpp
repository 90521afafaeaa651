#include "platform/systemconfiguration/SystemNetworkReachability.h"

#include <fstream>

#include <gtest/gtest.h>

#include "platform/systemconfiguration/FakeNetworkReachability.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRouteTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// A fake /proc/net and /sys/class/net with the given routes and interface states.
class RoutingTable {
  public:
    RoutingTable() {
        fs::create_directories(procNet());
        fs::create_directories(sysClassNet());
    }
    fs::path procNet() const { return dir_.path() / "proc-net"; }
    fs::path sysClassNet() const { return dir_.path() / "class-net"; }
    void setInterface(const std::string& name, const std::string& state) {
        fs::create_directories(sysClassNet() / name);
        std::ofstream(sysClassNet() / name / "operstate") << state << "\n";
    }
    void setIpv4Routes(const std::string& rows) {
        std::ofstream(procNet() / "route") << kRouteTitles << rows;
    }
    void setIpv6Routes(const std::string& rows) { std::ofstream(procNet() / "ipv6_route") << rows; }
    std::optional<NetworkReachability::Flags> flags() const {
        return SystemNetworkReachability(procNet(), sysClassNet()).currentFlags();
    }

  private:
    test::TempDir dir_;
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

TEST(SystemNetworkReachabilityTest, AnInterfaceNameCannotLeaveTheInterfaceFolder) {
    RoutingTable table;
    // An "interface" whose state file would lie outside the folder is never read.
    fs::create_directories(table.sysClassNet().parent_path() / "outside");
    std::ofstream(table.sysClassNet().parent_path() / "operstate") << "up\n";
    table.setIpv4Routes("..\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
    EXPECT_EQ(table.flags(), NetworkReachability::Flags{0});
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
