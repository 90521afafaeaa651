#include "beacon-core/installations/BCNInstallationsIIDTokenStore.h"

#include "beacon-core/UTLKeychainUtils.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsIIDTokenInfo.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {

std::string BCNInstallationsIIDTokenStore::IIDAppIdentifier() {
    return Bundle::main().bundleIdentifier();
}

std::string BCNInstallationsIIDTokenStore::serviceKeyForAuthorizedEntity(const std::string& entity,
                                                                         const std::string& scope) {
    return entity + ":" + scope;
}

SecureItemQuery BCNInstallationsIIDTokenStore::IIDDefaultTokenDataKeychainQuery() const {
    SecureItemQuery query;
    query.attributes.itemClass = SecItemClass::GenericPassword;
    query.attributes.generic = kGenericAttribute;
    if (const std::string account = IIDAppIdentifier(); !account.empty())
        query.attributes.account = account;
    query.attributes.service = serviceKeyForAuthorizedEntity(PushSenderID, "*");
    return query;
}

std::optional<std::string> BCNInstallationsIIDTokenStore::IIDDefaultTokenData(
    ErrorRef* error) const {
    return UTLKeychainUtils::getItemWithQuery(IIDDefaultTokenDataKeychainQuery(), error);
}

std::optional<std::string> BCNInstallationsIIDTokenStore::IIDCheckinWithData(std::string_view data,
                                                                             ErrorRef* error) {
    auto info = KeyedArchive::unarchive<BCNInstallationsIIDTokenInfo>(data);
    if (!info || !info->token || info->token->empty()) {
        if (error) *error = BCNInstallationsErrorUtil::corruptedIIDTokenData();
        return std::nullopt;
    }
    return info->token;
}

PRMPromiseRef BCNInstallationsIIDTokenStore::existingIIDDefaultToken() const {
    return PRMPromise::doWork(
        DispatchQueue::global(QualityOfService::Utility), [store = *this]() -> PRMValue {
            ErrorRef error;
            auto data = store.IIDDefaultTokenData(&error);
            if (!data) return error ? error : BCNInstallationsErrorUtil::corruptedIIDTokenData();
            auto token = IIDCheckinWithData(*data, &error);
            if (!token) return error;
            return PRMValue::box(*token);
        });
}

}  // namespace pex
