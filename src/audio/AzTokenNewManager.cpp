#include "audio/AzTokenNewManager.h"

#include <charconv>
#include <chrono>
#include <cmath>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ConsoleLog.h"
#include "service/DateHelpers.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/TimerManager.h"

namespace pex {

// The clock's refresh callback as this manager installs it; a type of its own so that the
// manager can recognise its own callback when it goes away.
struct AzTokenNewManager::ClockRefresh {
    std::weak_ptr<AzTokenNewManager> manager;
    const AzTokenNewManager* owner = nullptr;

    void operator()() const {
        const auto self = manager.lock();
        if (!self) return;
        self->action = 2;
        self->retry = 0;
        self->request();
    }
};

namespace {

// A number as the console shows seconds: the shortest exact form, always with a fraction
// ("0.0", "2.0", "2.125").
std::string secondsText(double seconds) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, seconds);
    std::string printed(text, result.ptr);
    if (std::isfinite(seconds) && printed.find_first_of(".e") == std::string::npos) {
        printed += ".0";
    }
    return printed;
}

// The token's lifetime in whole seconds: a JSON number, truncated; absent otherwise.
std::optional<std::int64_t> durationOf(const nlohmann::json& data) {
    const nlohmann::json& value = lenient::field(data, "duration");
    if (!value.is_number()) return std::nullopt;
    return lenient::integerValue(value);
}

}  // namespace

std::shared_ptr<AzTokenNewManager> AzTokenNewManager::create() {
    return std::shared_ptr<AzTokenNewManager>(new AzTokenNewManager());
}

AzTokenNewManager::~AzTokenNewManager() {
    auto& refresh = TimerManager::shared().onTokenRefresh;
    const auto* installed = refresh.target<ClockRefresh>();
    if (installed && installed->owner == this) refresh = nullptr;
}

void AzTokenNewManager::start() {
    assertMainThread("AzTokenNewManager::start");
    ++generation_;
    action = 1;
    retry = 0;
    request();
    TimerManager::shared().onTokenRefresh = ClockRefresh{weak_from_this(), this};
}

void AzTokenNewManager::request() {
    assertMainThread("AzTokenNewManager::request");
    const auto now = Clock::current()->now();
    const double interval =
        lastRequestTime ? std::chrono::duration<double>(now - *lastRequestTime).count() : 0.0;
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    consoleLog("AzToken请求[间隔]: " + secondsText(interval));
    consoleLog("AzToken请求[开始]: " + formatLocalDate(wallSeconds, "yyyy-MM-dd HH:mm:ss"));
    lastRequestTime = now;

    std::optional<nlohmann::json> parameters;
    if (area && !area->empty()) parameters = nlohmann::json{{"region", *area}};
    HttpDatas::shared().request(
        kPath, HTTPMethod::Get, std::move(parameters), std::nullopt,
        [weak = weak_from_this(), generation = generation_](std::optional<bool> failed,
                                                            std::optional<nlohmann::json> reply,
                                                            std::optional<std::string>) {
            const auto self = weak.lock();
            if (!self) return;
            const bool succeeded = failed.has_value() && !*failed && reply.has_value();
            self->replied(generation, succeeded,
                          succeeded ? lenient::field(*reply, "data") : nlohmann::json());
        });
}

void AzTokenNewManager::replied(std::uint64_t generation, bool succeeded,
                                const nlohmann::json& data) {
    if (generation != generation_) return;  // stopped or restarted since it was sent
    if (!succeeded) return failed(generation);

    AzTokenModel model{lenient::text(data, "token"), lenient::text(data, "area")};
    // A token the speech service cannot use is no token: retried like a failed fetch.
    if (model.token.empty()) {
        consoleLog("❌ AzToken 返回的 token 为空");
        return failed(generation);
    }
    area = model.area;
    if (const auto duration = durationOf(data)) {
        // The clock divides by its period, so a lifetime of 0 (or less) keeps the one it has.
        if (*duration > 0) {
            TimerManager& clock = TimerManager::shared();
            clock.expiresTime = *duration;
            clock.oldExpiresTime = clock.elapsedSeconds;
        } else {
            consoleLog("⚠️ AzToken 有效期无效，保留原刷新周期: " +
                       std::to_string(*duration));
        }
    }
    if (delegate) {
        if (action == 1) {
            delegate->tokenReceived(model);
        } else {
            delegate->tokenRefreshed(model);
        }
    }
    retry = 0;
}

void AzTokenNewManager::failed(std::uint64_t generation) {
    if (retry >= kMaxRetries) {
        consoleLog("请求终止");
        if (delegate) delegate->tokenFailed(std::string());
        return;
    }
    retry += 1;
    consoleLog("请求重试: " + std::to_string(retry));
    DispatchQueue::main().asyncAfter(kRetryDelay, [weak = weak_from_this(), generation] {
        const auto self = weak.lock();
        if (self && self->generation_ == generation) self->request();
    });
}

void AzTokenNewManager::stop() {
    assertMainThread("AzTokenNewManager::stop");
    consoleLog("停止微软轮询");
    ++generation_;
    TimerManager::shared().onTokenRefresh = nullptr;
    area.reset();
}

}  // namespace pex
