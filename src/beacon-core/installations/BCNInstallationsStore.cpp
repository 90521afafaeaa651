#include "beacon-core/installations/BCNInstallationsStore.h"

#include "beacon-core/installations/BCNInstallationsErrorUtil.h"

namespace pex {

std::string BCNInstallationsStore::keychainServiceForAppID(const std::string& appID) {
    return std::string(kKeychainServicePrefix) + "." + appID;
}

BCNInstallationsStore::BCNInstallationsStore(std::shared_ptr<UTLKeychainStorage> secureStorage,
                                             std::optional<std::string> accessGroup)
    : secureStorage_(std::move(secureStorage)),
      accessGroup_(std::move(accessGroup)),
      queue_(DispatchQueue::serial("com.beacon.BCNInstallationsStore")),
      userDefaults_(std::make_shared<UTLUserDefaults>(
          accessGroup_ && !accessGroup_->empty() ? *accessGroup_ : kUserDefaultsSuiteName)) {}

PRMPromiseRef BCNInstallationsStore::installationForAppID(const std::string& appID,
                                                          const std::string& appName) {
    const std::string key = BCNInstallationsItem::identifierWithAppID(appID, appName);
    return installationExistsForAppID(appID, appName)
        ->then([storage = secureStorage_, group = accessGroup_, key](const PRMValue&) {
            return PRMValue(PRMPromise::wrapObjectOrErrorCompletion(
                [storage, group, key](PRMPromise::ObjectOrErrorDone done) {
                    storage->getObjectForKey<BCNInstallationsStoredItem>(
                        key, group,
                        [done](std::shared_ptr<const BCNInstallationsStoredItem> stored,
                               ErrorRef error) {
                            done(stored ? PRMValue::box(stored) : PRMValue(), error);
                        });
                }));
        })
        ->then([appID, appName](const PRMValue& value) -> PRMValue {
            const auto* stored = value.as<std::shared_ptr<const BCNInstallationsStoredItem>>();
            if (!stored || !*stored)
                return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName);
            BCNInstallationsItem item(appID, appName);
            item.updateWithStoredItem(**stored);
            return PRMValue::box(item);
        });
}

PRMPromiseRef BCNInstallationsStore::saveInstallation(const BCNInstallationsItem& item) {
    auto stored = std::make_shared<const BCNInstallationsStoredItem>(item.storedItem());
    const std::string key = item.identifier();
    return PRMPromise::wrapObjectOrErrorCompletion([storage = secureStorage_, group = accessGroup_,
                                                    key,
                                                    stored](PRMPromise::ObjectOrErrorDone done) {
               storage->setObject<BCNInstallationsStoredItem>(
                   stored, key, group,
                   [done](std::shared_ptr<const BCNInstallationsStoredItem> object,
                          ErrorRef error) {
                       done(object ? PRMValue::box(object) : PRMValue(), error);
                   });
           })
        ->then([queue = queue_, defaults = userDefaults_, key](const PRMValue&) {
            return PRMValue(setFlag(queue, defaults, true, key));
        });
}

PRMPromiseRef BCNInstallationsStore::removeInstallationForAppID(const std::string& appID,
                                                                const std::string& appName) {
    const std::string key = BCNInstallationsItem::identifierWithAppID(appID, appName);
    return PRMPromise::wrapErrorCompletion(
               [storage = secureStorage_, group = accessGroup_, key](PRMPromise::ErrorDone done) {
                   storage->removeObjectForKey(key, group, done);
               })
        ->then([queue = queue_, defaults = userDefaults_, key](const PRMValue&) {
            return PRMValue(setFlag(queue, defaults, false, key));
        });
}

PRMPromiseRef BCNInstallationsStore::installationExistsForAppID(const std::string& appID,
                                                                const std::string& appName) {
    const std::string key = BCNInstallationsItem::identifierWithAppID(appID, appName);
    return PRMPromise::doWork(
        queue_, [defaults = userDefaults_, key, appID, appName]() -> PRMValue {
            if (defaults->objectForKey(key)) return PRMValue();
            return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName);
        });
}

PRMPromiseRef BCNInstallationsStore::setInstallationExists(bool exists,
                                                           const std::string& identifier) {
    return setFlag(queue_, userDefaults_, exists, identifier);
}

PRMPromiseRef BCNInstallationsStore::setFlag(const DispatchQueue& queue,
                                             const std::shared_ptr<UTLUserDefaults>& defaults,
                                             bool exists, const std::string& identifier) {
    return PRMPromise::doWork(queue, [defaults, exists, identifier] {
        if (exists)
            defaults->setBool(true, identifier);
        else
            defaults->removeObjectForKey(identifier);
        return PRMValue();
    });
}

}  // namespace pex
