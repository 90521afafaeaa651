#pragma once
// Connects the crash reporter to an analytics component when the application carries one:
// analytics events become breadcrumb lines in the crash log, and every crash reported is told
// to analytics for crash-free statistics. Without one it only says so.
#include <memory>
#include <optional>
#include <string>

#include "beacon-core/BCNAnalyticsInterop.h"

namespace pex {

inline constexpr char kCRSAnalyticsOrigin[] = "clx";
inline constexpr char kCRSAnalyticsCrashEventName[] = "_ae";
inline constexpr char kCRSBreadcrumbPrefix[] = "$A$:";

class CRSAnalyticsManager : public BCNAnalyticsInteropListener,
                            public std::enable_shared_from_this<CRSAnalyticsManager> {
  public:
    explicit CRSAnalyticsManager(std::shared_ptr<BCNAnalyticsInterop> analytics);

    // Registers this manager as the analytics listener, at most once.
    void registerAnalyticsListener();
    bool registeredAnalyticsEventListener() const { return registeredAnalyticsEventListener_; }

    // Writes the event as a breadcrumb line ("$A$:" and its JSON) to the crash log.
    void messageTriggered(const std::string& name,
                          const PropertyList::Dictionary& parameters) override;

    // Tells analytics about a crash at `secondsSince1970`; nothing without analytics.
    static void logCrashWithTimeStamp(double secondsSince1970,
                                      const std::shared_ptr<BCNAnalyticsInterop>& analytics);

    // The JSON text of {"name": name, "parameters": parameters}; nothing (with a warning in
    // the crash log) when a parameter has no JSON form.
    static std::optional<std::string> eventDictionaryToJSON(
        const std::string& name, const PropertyList::Dictionary& parameters);

  private:
    bool registeredAnalyticsEventListener_ = false;
    const std::shared_ptr<BCNAnalyticsInterop> analytics_;
};

}  // namespace pex
