#include "platform/security/SecureItemList.h"

#include <algorithm>

namespace pex {

SecStatus SecureItemList::copyMatching(const std::vector<SecureItem>& items,
                                       const SecureItemQuery& query, std::string* data) {
    for (const auto& item : items) {
        if (!query.attributes.matches(item.attributes)) continue;
        if (data) *data = item.data;
        return kSecStatusSuccess;
    }
    return kSecStatusItemNotFound;
}

SecStatus SecureItemList::add(std::vector<SecureItem>& items,
                              const SecureItemAttributes& attributes, const std::string& accessible,
                              const std::string& data) {
    if (!attributes.itemClass) return kSecStatusParam;
    for (const auto& item : items)
        if (item.attributes.sameIdentity(attributes)) return kSecStatusDuplicateItem;
    items.push_back(SecureItem{attributes, accessible, data});
    return kSecStatusSuccess;
}

SecStatus SecureItemList::update(std::vector<SecureItem>& items, const SecureItemQuery& query,
                                 const std::string& data) {
    bool found = false;
    for (auto& item : items) {
        if (!query.attributes.matches(item.attributes)) continue;
        item.data = data;
        found = true;
    }
    return found ? kSecStatusSuccess : kSecStatusItemNotFound;
}

SecStatus SecureItemList::remove(std::vector<SecureItem>& items, const SecureItemQuery& query) {
    const auto removed = std::erase_if(
        items, [&](const SecureItem& item) { return query.attributes.matches(item.attributes); });
    return removed > 0 ? kSecStatusSuccess : kSecStatusItemNotFound;
}

}  // namespace pex
