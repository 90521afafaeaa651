#pragma once
// Reachability of the network as a whole (the "any address" target), in the system's flag
// bits. A real backend reads the kernel's state; tests use FakeNetworkReachability.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/DispatchQueue.h"

namespace pex {

class NetworkReachability {
  public:
    using Flags = std::uint32_t;
    static constexpr Flags kReachable = 1u << 1;
    static constexpr Flags kConnectionRequired = 1u << 2;
    using ChangeHandler = std::function<void(Flags)>;

    virtual ~NetworkReachability() = default;

    // The flags now; none when the state cannot be read.
    virtual std::optional<Flags> currentFlags() const = 0;
    // Runs `onChange` on `queue` with the new flags whenever they change, replacing an earlier
    // handler. False when changes cannot be watched.
    virtual bool setChangeHandler(DispatchQueue queue, ChangeHandler onChange) = 0;

    // The system's reachability of any address (SystemNetworkReachability).
    static std::shared_ptr<NetworkReachability> forAnyAddress();
};

}  // namespace pex
