#include "BeaconTransport/TXPLibrary/TXPReachability.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

namespace {
constexpr long kReachabilityCode = 4;
}

TXPReachability& TXPReachability::sharedInstance() {
    static auto* instance = new TXPReachability(NetworkReachability::forAnyAddress());
    return *instance;
}

std::uint32_t TXPReachability::currentFlags() {
    std::uint32_t flags = sharedInstance().effectiveFlags();
    TXPLogDebug(0, "Initial reachability flags determined: " + std::to_string(flags));
    return flags;
}

void TXPReachability::setNetworkReachabilityForTesting(
    std::shared_ptr<NetworkReachability> source) {
    sharedInstance().start(source ? std::move(source) : NetworkReachability::forAnyAddress());
}

TXPReachability::TXPReachability(std::shared_ptr<NetworkReachability> source)
    : queue_(DispatchQueue::serial("com.beacon.TXPReachability")) {
    start(std::move(source));
}

void TXPReachability::start(std::shared_ptr<NetworkReachability> source) {
    queue_.async([this, source = std::move(source)] {
        std::uint64_t generation = ++generation_;
        if (source_) source_->setChangeHandler(queue_, nullptr);
        source_ = source;
        callbackFlags_.reset();
        bool watching = source_->setChangeHandler(queue_, [this, generation](std::uint32_t flags) {
            if (generation != generation_) return;
            TXPLogDebug(0, "Reachability changed, new flags: " + std::to_string(flags));
            callbackFlags_ = flags;
        });
        if (!watching) TXPLogWarning(kReachabilityCode, "The reachability callback wasn't set.");
        std::optional<std::uint32_t> flags = source_->currentFlags();
        if (!flags) TXPLogDebug(0, "Determining reachability failed.");
        flags_ = flags.value_or(0);
    });
}

std::uint32_t TXPReachability::effectiveFlags() const {
    std::uint32_t result = 0;
    queue_.sync([&] { result = callbackFlags_.value_or(flags_); });
    return result;
}

std::uint32_t TXPReachability::flags() const {
    std::uint32_t result = 0;
    queue_.sync([&] { result = flags_; });
    return result;
}

std::uint32_t TXPReachability::callbackFlags() const {
    std::uint32_t result = 0;
    queue_.sync([&] { result = callbackFlags_.value_or(0); });
    return result;
}

}  // namespace pex
