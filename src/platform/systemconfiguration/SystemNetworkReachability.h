#pragma once
// Reachability from the kernel's view: reachable when an IPv4 or IPv6 default route leads
// through an interface that is up. Routes and interfaces are those of the calling thread's
// network namespace: the routing tables are read from /proc/thread-self/net and the
// interfaces' states are asked of the kernel over netlink (the interface folders under /sys
// belong to whichever namespace mounted it, which need not be ours). Changes arrive as netlink
// route and link messages, read by one watcher thread that exists while a change handler is set.
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/foundation/BackgroundThreads.h"
#include "platform/systemconfiguration/NetworkReachability.h"

namespace pex {

class SystemNetworkReachability : public NetworkReachability {
  public:
    // Each interface's operational state by name, in the words of the kernel's "operstate"
    // ("up", "down", "unknown", ...); none when they cannot be asked.
    using InterfaceStates = std::function<std::optional<std::map<std::string, std::string>>()>;

    // The states of the calling thread's namespace's interfaces, from a netlink dump.
    static std::optional<std::map<std::string, std::string>> kernelInterfaceStates();

    // `procNet` holds "route" and "ipv6_route" (tests point it at a fixture folder and give
    // interface states of their own).
    explicit SystemNetworkReachability(std::filesystem::path procNet = "/proc/thread-self/net",
                                       InterfaceStates interfaceStates = kernelInterfaceStates);
    ~SystemNetworkReachability() override;

    std::optional<Flags> currentFlags() const override;
    bool setChangeHandler(DispatchQueue queue, ChangeHandler onChange) override;

  private:
    using States = std::map<std::string, std::string>;
    bool hasIpv4DefaultRoute(const States& states, bool& readable) const;
    bool hasIpv6DefaultRoute(const States& states, bool& readable) const;
    void watch(int netlinkSocket);
    void stopWatching();

    const std::filesystem::path procNet_;
    const InterfaceStates interfaceStates_;

    std::mutex mutex_;
    std::optional<DispatchQueue> queue_;
    ChangeHandler onChange_;
    std::optional<Flags> lastFlags_;
    int stopEvent_ = -1;
    std::mutex lifecycleMutex_;  // starting and stopping the watcher, from any thread
    std::thread watcher_;
    BackgroundThreads::Registration stopAtExit_;
};

}  // namespace pex
