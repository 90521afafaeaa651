#include "platform/systemconfiguration/SystemNetworkReachability.h"

#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// Tunnels and some virtual links never report "up", only "unknown", while they carry traffic.
bool isUp(const std::map<std::string, std::string>& states, const std::string& name) {
    if (name == "lo") return false;
    const auto found = states.find(name);
    return found != states.end() && (found->second == "up" || found->second == "unknown");
}

// The kernel's operational states (RFC 2863) by the words its "operstate" files use.
std::string operationalStateName(unsigned char state) {
    switch (state) {
        case IF_OPER_NOTPRESENT:
            return "notpresent";
        case IF_OPER_DOWN:
            return "down";
        case IF_OPER_LOWERLAYERDOWN:
            return "lowerlayerdown";
        case IF_OPER_TESTING:
            return "testing";
        case IF_OPER_DORMANT:
            return "dormant";
        case IF_OPER_UP:
            return "up";
        default:
            return "unknown";
    }
}

// Reads one RTM_NEWLINK message's name and operational state into `states`.
void noteLink(const nlmsghdr* header, std::map<std::string, std::string>& states) {
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(header));
    int length = static_cast<int>(IFLA_PAYLOAD(header));
    std::optional<std::string> name;
    unsigned char state = IF_OPER_UNKNOWN;
    for (auto* attribute = IFLA_RTA(info); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        const auto* payload = static_cast<const char*>(RTA_DATA(attribute));
        const std::size_t size = RTA_PAYLOAD(attribute);
        if (attribute->rta_type == IFLA_IFNAME && size > 0) {
            name = std::string(payload, strnlen(payload, size));
        } else if (attribute->rta_type == IFLA_OPERSTATE && size >= 1) {
            state = static_cast<unsigned char>(payload[0]);
        }
    }
    if (name) states[*name] = operationalStateName(state);
}

}  // namespace

std::shared_ptr<NetworkReachability> NetworkReachability::forAnyAddress() {
    return std::make_shared<SystemNetworkReachability>();
}

SystemNetworkReachability::SystemNetworkReachability(std::filesystem::path procNet,
                                                     InterfaceStates interfaceStates)
    : procNet_(std::move(procNet)),
      interfaceStates_(std::move(interfaceStates)),
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

std::optional<std::map<std::string, std::string>>
SystemNetworkReachability::kernelInterfaceStates() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return std::nullopt;
    // The kernel answers at once; a reply that never came must not hold the caller.
    const timeval patience{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    if (::send(fd, &request, request.header.nlmsg_len, 0) < 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::map<std::string, std::string> states;
    std::vector<char> buffer(32 * 1024);
    for (;;) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        auto length = static_cast<unsigned int>(got);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data());
             NLMSG_OK(header, length); header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                ::close(fd);
                return states;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                ::close(fd);
                return std::nullopt;
            }
            if (header->nlmsg_type == RTM_NEWLINK) noteLink(header, states);
        }
    }
    ::close(fd);
    return std::nullopt;
}

bool SystemNetworkReachability::hasIpv4DefaultRoute(const States& states, bool& readable) const {
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
        if ((hexValue(flags) & kRouteUp) && isUp(states, iface)) return true;
    }
    return false;
}

bool SystemNetworkReachability::hasIpv6DefaultRoute(const States& states, bool& readable) const {
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
        if ((routeFlags & kRouteUp) && !(routeFlags & kRouteReject) && isUp(states, iface))
            return true;
    }
    return false;
}

std::optional<NetworkReachability::Flags> SystemNetworkReachability::currentFlags() const {
    const auto states = interfaceStates_ ? interfaceStates_() : std::nullopt;
    if (!states) return std::nullopt;
    bool readable = false;
    bool reachable = hasIpv4DefaultRoute(*states, readable);
    if (!reachable) reachable = hasIpv6DefaultRoute(*states, readable);
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
