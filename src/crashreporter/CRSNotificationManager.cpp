#include "crashreporter/CRSNotificationManager.h"

#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/ApplicationNotifications.h"

namespace pex {

// The key's values are the numbers 0 and 1 (their texts "0" and "1"), as the report reader
// expects for this flag.
CRSNotificationManager::CRSNotificationManager(NotificationCenter& centre) : centre_(centre) {}

void CRSNotificationManager::registerNotificationListener() {
    captureInitialNotificationStates();
    willBecomeActiveObserver_ = ScopedObserver(
        centre_, centre_.addObserver(kApplicationWillBecomeActiveNotification, nullptr,
                                     [this](const Notification& note) { willBecomeActive(note); }));
    didResignActiveObserver_ = ScopedObserver(
        centre_,
        centre_.addObserver(kApplicationDidResignActiveNotification, nullptr,
                            [this](const Notification& note) { didBecomeInactive(note); }));
}

void CRSNotificationManager::captureInitialNotificationStates() {
    CRSUserLoggingQueue().async(
        [] { CRSUserLoggingWriteInternalKeyValue(kInBackgroundKey, std::string("0")); });
}

void CRSNotificationManager::willBecomeActive(const Notification&) {
    CRSUserLoggingRecordInternalKeyValue(std::string(kInBackgroundKey), 0);
}

void CRSNotificationManager::didBecomeInactive(const Notification&) {
    CRSUserLoggingRecordInternalKeyValue(std::string(kInBackgroundKey), 1);
}

}  // namespace pex
