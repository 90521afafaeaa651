#include "platform/security/SecureItemQuery.h"

namespace pex {
namespace {

template <typename T>
bool matchesOne(const std::optional<T>& wanted, const std::optional<T>& actual) {
    return !wanted || wanted == actual;
}

}  // namespace

bool SecureItemAttributes::matches(const SecureItemAttributes& item) const {
    return matchesOne(itemClass, item.itemClass) && matchesOne(service, item.service) &&
           matchesOne(account, item.account) && matchesOne(accessGroup, item.accessGroup) &&
           matchesOne(generic, item.generic) && matchesOne(applicationTag, item.applicationTag) &&
           matchesOne(keyType, item.keyType);
}

bool SecureItemAttributes::sameIdentity(const SecureItemAttributes& other) const {
    // The generic attribute describes an item but does not tell two items apart.
    return itemClass == other.itemClass && service == other.service && account == other.account &&
           accessGroup == other.accessGroup && applicationTag == other.applicationTag &&
           keyType == other.keyType;
}

}  // namespace pex
