#include "crashreporter/CRSAnalyticsManager.h"

#include <cmath>
#include <variant>

#include <nlohmann/json.hpp>

#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUserLogging.h"

namespace pex {

namespace {

// The JSON form of a property-list value; nothing for dates, data and numbers JSON cannot
// hold.
std::optional<nlohmann::json> jsonValue(const PropertyList& value) {
    struct Make {
        std::optional<nlohmann::json> operator()(const std::string& text) const { return text; }
        std::optional<nlohmann::json> operator()(std::int64_t number) const { return number; }
        std::optional<nlohmann::json> operator()(double number) const {
            if (!std::isfinite(number)) return std::nullopt;
            return number;
        }
        std::optional<nlohmann::json> operator()(bool flag) const { return flag; }
        std::optional<nlohmann::json> operator()(const PropertyList::Date&) const {
            return std::nullopt;
        }
        std::optional<nlohmann::json> operator()(const PropertyList::Data&) const {
            return std::nullopt;
        }
        std::optional<nlohmann::json> operator()(const PropertyList::Array& items) const {
            nlohmann::json out = nlohmann::json::array();
            for (const auto& item : items) {
                auto converted = jsonValue(item);
                if (!converted) return std::nullopt;
                out.push_back(std::move(*converted));
            }
            return out;
        }
        std::optional<nlohmann::json> operator()(const PropertyList::Dictionary& entries) const {
            nlohmann::json out = nlohmann::json::object();
            for (const auto& [key, item] : entries) {
                auto converted = jsonValue(item);
                if (!converted) return std::nullopt;
                out[key] = std::move(*converted);
            }
            return out;
        }
    };
    return std::visit(Make{}, value.value());
}

}  // namespace

CRSAnalyticsManager::CRSAnalyticsManager(std::shared_ptr<BCNAnalyticsInterop> analytics)
    : analytics_(std::move(analytics)) {}

void CRSAnalyticsManager::registerAnalyticsListener() {
    if (registeredAnalyticsEventListener_) return;
    if (!analytics_) {
        CRSDebugLog(
            "[CrashReporter:Crash:Reports:Event] Beacon Analytics SDK not detected. Crash-free "
            "statistics and breadcrumbs will not be reported");
        return;
    }
    analytics_->registerAnalyticsListener(weak_from_this(), kCRSAnalyticsOrigin);
    CRSDebugLog(
        "[CrashReporter:Crash:Reports:Event] Registered Beacon Analytics event listener to "
        "receive breadcrumb logs");
    registeredAnalyticsEventListener_ = true;
}

std::optional<std::string> CRSAnalyticsManager::eventDictionaryToJSON(
    const std::string& name, const PropertyList::Dictionary& parameters) {
    const auto converted = jsonValue(PropertyList(parameters));
    if (!converted) {
        CRSSDKFileLog(CRSSDKLogLevelWarn, "WARN  [%s:%d] Beacon Analytics event is not valid JSON",
                      "CRSFIRAEventDictionaryToJSON", __LINE__);
        return std::nullopt;
    }
    const nlohmann::json event = {{"name", name}, {"parameters", *converted}};
    try {
        return event.dump();
    } catch (const nlohmann::json::exception&) {  // a text that is not UTF-8
        CRSSDKFileLog(CRSSDKLogLevelWarn,
                      "WARN  [%s:%d] Unable to convert Beacon Analytics event to json",
                      "CRSFIRAEventDictionaryToJSON", __LINE__);
        return std::nullopt;
    }
}

void CRSAnalyticsManager::messageTriggered(const std::string& name,
                                           const PropertyList::Dictionary& parameters) {
    const auto text = eventDictionaryToJSON(name, parameters);
    if (!text) return;
    CRSLog("%s%s", kCRSBreadcrumbPrefix, text->c_str());
}

void CRSAnalyticsManager::logCrashWithTimeStamp(
    double secondsSince1970, const std::shared_ptr<BCNAnalyticsInterop>& analytics) {
    if (!analytics) return;
    CRSDebugLog(
        "[CrashReporter:Crash:Reports:Event] Sending app_exception event to Beacon Analytics for "
        "crash-free statistics");
    const auto millis = static_cast<std::int64_t>(std::llround(secondsSince1970 * 1000));
    analytics->logEventWithOrigin(
        kCRSAnalyticsOrigin, kCRSAnalyticsCrashEventName,
        {{"timestamp", PropertyList(millis)}, {"fatal", PropertyList(std::int64_t{1})}});
}

}  // namespace pex
