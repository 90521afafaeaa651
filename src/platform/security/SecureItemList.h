#pragma once
// The rules every store applies to its items, over a plain list: the first match is read,
// adds refuse a second item of one identity, updates and deletes touch every match.
#include <vector>

#include "platform/security/SecureItem.h"

namespace pex {

class SecureItemList {
  public:
    static SecStatus copyMatching(const std::vector<SecureItem>& items,
                                  const SecureItemQuery& query, std::string* data);
    static SecStatus add(std::vector<SecureItem>& items, const SecureItemAttributes& attributes,
                         const std::string& accessible, const std::string& data);
    static SecStatus update(std::vector<SecureItem>& items, const SecureItemQuery& query,
                            const std::string& data);
    static SecStatus remove(std::vector<SecureItem>& items, const SecureItemQuery& query);
};

}  // namespace pex
