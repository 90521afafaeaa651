#pragma once
// Reachability from the kernel's view: reachable when an IPv4 or IPv6 default route leads
// through an interface that is up. Changes arrive as netlink route and link messages, read
// by one watcher thread that exists while a change handler is set.
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/foundation/BackgroundThreads.h"
#include "platform/systemconfiguration/NetworkReachability.h"

namespace pex {

class SystemNetworkReachability : public NetworkReachability {
  public:
    // `procNet` holds "route" and "ipv6_route"; `sysClassNet` holds one folder per interface
    // with its "operstate" (tests point both at fixture folders).
    explicit SystemNetworkReachability(std::filesystem::path procNet = "/proc/net",
                                       std::filesystem::path sysClassNet = "/sys/class/net");
    ~SystemNetworkReachability() override;

    std::optional<Flags> currentFlags() const override;
    bool setChangeHandler(DispatchQueue queue, ChangeHandler onChange) override;

  private:
    bool interfaceIsUp(const std::string& name) const;
    bool hasIpv4DefaultRoute(bool& readable) const;
    bool hasIpv6DefaultRoute(bool& readable) const;
    void watch(int netlinkSocket);
    void stopWatching();

    const std::filesystem::path procNet_;
    const std::filesystem::path sysClassNet_;

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
