#include "platform/security/SecureItem.h"

#include <openssl/sha.h>

#include "platform/foundation/Hex.h"
#include "platform/foundation/PropertyList.h"

namespace pex {
namespace {

PropertyList::Data bytesOf(std::string_view text) {
    return PropertyList::Data(text.begin(), text.end());
}

void putText(PropertyList::Dictionary& out, const char* key, const std::optional<std::string>& v) {
    if (v) out[key] = PropertyList(*v);
}
void putBytes(PropertyList::Dictionary& out, const char* key, const std::optional<std::string>& v) {
    if (v) out[key] = PropertyList(bytesOf(*v));
}

std::optional<std::string> text(const PropertyList& list, const char* key) {
    const auto* entry = list.find(key);
    const auto* value = entry ? entry->get<std::string>() : nullptr;
    return value ? std::optional<std::string>(*value) : std::nullopt;
}
std::optional<std::string> bytes(const PropertyList& list, const char* key) {
    const auto* entry = list.find(key);
    const auto* value = entry ? entry->get<PropertyList::Data>() : nullptr;
    return value ? std::optional<std::string>(std::string(value->begin(), value->end()))
                 : std::nullopt;
}

PropertyList::Dictionary attributesDictionary(const SecureItemAttributes& a) {
    PropertyList::Dictionary out;
    if (a.itemClass)
        out["class"] = PropertyList(a.itemClass == SecItemClass::Key ? "keys" : "genp");
    putText(out, "service", a.service);
    putText(out, "account", a.account);
    putText(out, "accessGroup", a.accessGroup);
    putBytes(out, "generic", a.generic);
    putBytes(out, "applicationTag", a.applicationTag);
    putText(out, "keyType", a.keyType);
    return out;
}

}  // namespace

std::string SecureItem::serialize() const {
    auto values = attributesDictionary(attributes);
    values["accessible"] = PropertyList(accessible);
    values["data"] = PropertyList(bytesOf(data));
    return PropertyList(values).serialize(PropertyList::Format::Binary);
}

std::optional<SecureItem> SecureItem::parse(std::string_view serialized) {
    auto list = PropertyList::parse(serialized, nullptr, 16 * 1024 * 1024);
    if (!list || !list->is<PropertyList::Dictionary>()) return std::nullopt;
    SecureItem item;
    const auto itemClass = text(*list, "class");
    if (itemClass == "genp")
        item.attributes.itemClass = SecItemClass::GenericPassword;
    else if (itemClass == "keys")
        item.attributes.itemClass = SecItemClass::Key;
    else
        return std::nullopt;
    item.attributes.service = text(*list, "service");
    item.attributes.account = text(*list, "account");
    item.attributes.accessGroup = text(*list, "accessGroup");
    item.attributes.generic = bytes(*list, "generic");
    item.attributes.applicationTag = bytes(*list, "applicationTag");
    item.attributes.keyType = text(*list, "keyType");
    item.accessible = text(*list, "accessible").value_or("");
    auto data = bytes(*list, "data");
    if (!data) return std::nullopt;
    item.data = std::move(*data);
    return item;
}

std::string SecureItem::identityDigest(const SecureItemAttributes& attributes) {
    SecureItemAttributes identity = attributes;
    identity.generic.reset();
    const std::string serialized =
        PropertyList(attributesDictionary(identity)).serialize(PropertyList::Format::Binary);
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(serialized.data()), serialized.size(), digest);
    return hexString(std::span<const std::uint8_t>(digest));
}

}  // namespace pex
