#include "platform/systemconfiguration/SystemNetworkReachability.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/foundation/BackgroundThreads.h"
#include "platform/foundation/ThreadLauncher.h"

namespace pex {

namespace {

constexpr unsigned long kRouteUp = 0x0001;      // RTF_UP
constexpr unsigned long kRouteReject = 0x0200;  // RTF_REJECT: an "unreachable" route

bool isAllZeroHex(const std::string& text) {
    return !text.empty() && text.find_first_not_of('0') == std::string::npos;
}

unsigned long hexValue(const std::string& text) {
    try {
        return std::stoul(text, nullptr, 16);
    } catch (...) {
        return 0;
    }
}

// Interface names come from a kernel file, but they name a folder below sysClassNet: keep them
// to one plain path component.
bool isPlainInterfaceName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::shared_ptr<NetworkReachability> NetworkReachability::forAnyAddress() {
    return std::make_shared<SystemNetworkReachability>();
}

SystemNetworkReachability::SystemNetworkReachability(std::filesystem::path procNet,
                                                     std::filesystem::path sysClassNet)
    : procNet_(std::move(procNet)),
      sysClassNet_(std::move(sysClassNet)),
      // The owner usually lives as long as the process: the watcher ends before it does.
      stopAtExit_(BackgroundThreads::atStop([this] {
          std::lock_guard lifecycle(lifecycleMutex_);
          stopWatching();
      })) {}

SystemNetworkReachability::~SystemNetworkReachability() {
    stopAtExit_ = {};
    std::lock_guard lifecycle(lifecycleMutex_);
    stopWatching();
}

bool SystemNetworkReachability::interfaceIsUp(const std::string& name) const {
    if (!isPlainInterfaceName(name) || name == "lo") return false;
    std::ifstream file(sysClassNet_ / name / "operstate");
    std::string state;
    if (!(file >> state)) return false;
    // Tunnels and some virtual links never report "up", only "unknown", while they carry traffic.
    return state == "up" || state == "unknown";
}

bool SystemNetworkReachability::hasIpv4DefaultRoute(bool& readable) const {
    std::ifstream file(procNet_ / "route");
    if (!file) return false;
    readable = true;
    std::string line;
    std::getline(file, line);  // column titles
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
              mask))
            continue;
        if (!isAllZeroHex(destination) || !isAllZeroHex(mask)) continue;
        if ((hexValue(flags) & kRouteUp) && interfaceIsUp(iface)) return true;
    }
    return false;
}

bool SystemNetworkReachability::hasIpv6DefaultRoute(bool& readable) const {
    std::ifstream file(procNet_ / "ipv6_route");
    if (!file) return false;
    readable = true;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use,
            flags, iface;
        if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >>
              refCount >> use >> flags >> iface))
            continue;
        if (!isAllZeroHex(destination) || !isAllZeroHex(prefix)) continue;
        unsigned long routeFlags = hexValue(flags);
        if ((routeFlags & kRouteUp) && !(routeFlags & kRouteReject) && interfaceIsUp(iface))
            return true;
    }
    return false;
}

std::optional<NetworkReachability::Flags> SystemNetworkReachability::currentFlags() const {
    bool readable = false;
    bool reachable = hasIpv4DefaultRoute(readable);
    if (!reachable) reachable = hasIpv6DefaultRoute(readable);
    if (!readable) return std::nullopt;
    return reachable ? kReachable : Flags{0};
}

bool SystemNetworkReachability::setChangeHandler(DispatchQueue queue, ChangeHandler onChange) {
    std::lock_guard lifecycle(lifecycleMutex_);
    stopWatching();
    int netlinkSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (netlinkSocket < 0) return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    int stopEvent = ::eventfd(0, EFD_CLOEXEC);
    if (stopEvent < 0 ||
        ::bind(netlinkSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (stopEvent >= 0) ::close(stopEvent);
        ::close(netlinkSocket);
        return false;
    }
    std::lock_guard lock(mutex_);
    queue_ = std::move(queue);
    onChange_ = std::move(onChange);
    lastFlags_ = currentFlags();
    stopEvent_ = stopEvent;
    watcher_ = launchThread([this, netlinkSocket] { watch(netlinkSocket); });
    return true;
}

void SystemNetworkReachability::watch(int netlinkSocket) {
    std::array<char, 8192> buffer{};
    for (;;) {
        std::array<pollfd, 2> waits{pollfd{netlinkSocket, POLLIN, 0},
                                    pollfd{stopEvent_, POLLIN, 0}};
        if (::poll(waits.data(), waits.size(), -1) < 0) continue;
        if (waits[1].revents) break;
        // The message says only that something changed; the routing table says what holds now.
        if (::recv(netlinkSocket, buffer.data(), buffer.size(), 0) <= 0) continue;
        std::optional<Flags> flags = currentFlags();
        std::lock_guard lock(mutex_);
        if (!flags || flags == lastFlags_) continue;
        lastFlags_ = flags;
        if (queue_ && onChange_)
            queue_->async([handler = onChange_, value = *flags] { handler(value); });
    }
    ::close(netlinkSocket);
}

void SystemNetworkReachability::stopWatching() {
    if (!watcher_.joinable()) return;
    std::uint64_t one = 1;
    if (::write(stopEvent_, &one, sizeof one) != sizeof one) return;
    watcher_.join();
    ::close(stopEvent_);
    stopEvent_ = -1;
}

}  // namespace pex
