#include "platform/security/SecretServiceItemStore.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <libsecret/secret.h>

#include "platform/foundation/Hex.h"
#include "platform/security/SecureItem.h"

namespace pex {
namespace {

const SecretSchema* schema() {
    static const SecretSchema kSchema = {"org.pexmora.SecureItem",
                                         SECRET_SCHEMA_NONE,
                                         {
                                             {"identity", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"class", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"generic", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"applicationTag", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {"keyType", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                             {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         },
                                         0,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};
    return &kSchema;
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

// The keyring attributes that select `a` (only those set), plus the identity when asked.
Attributes attributesFor(const SecureItemAttributes& a, bool withIdentity) {
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    auto put = [&](const char* key, const std::string& value) {
        g_hash_table_insert(table.get(), g_strdup(key), g_strdup(value.c_str()));
    };
    if (a.itemClass) put("class", a.itemClass == SecItemClass::Key ? "keys" : "genp");
    if (a.service) put("service", *a.service);
    if (a.account) put("account", *a.account);
    if (a.accessGroup) put("accessGroup", *a.accessGroup);
    if (a.generic) put("generic", hexString(*a.generic));
    if (a.applicationTag) put("applicationTag", hexString(*a.applicationTag));
    if (a.keyType) put("keyType", *a.keyType);
    if (withIdentity) put("identity", SecureItem::identityDigest(a));
    return table;
}

SecStatus statusOf(GError* error) {
    if (!error) return kSecStatusSuccess;
    g_error_free(error);
    return kSecStatusNotAvailable;
}

SecStatus store(const SecureItem& item) {
    const std::string secret = item.serialize();
    SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()),
                                          "application/octet-stream");
    GError* error = nullptr;
    auto attributes = attributesFor(item.attributes, true);
    secret_password_storev_binary_sync(schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                       "Pexmora secure item", value, nullptr, &error);
    secret_value_unref(value);
    return statusOf(error);
}

// Every stored item that matches; the status when the keyring could not be searched.
SecStatus search(const SecureItemQuery& query, std::vector<SecureItem>& found) {
    GError* error = nullptr;
    auto attributes = attributesFor(query.attributes, false);
    GList* results = secret_password_searchv_sync(
        schema(), attributes.get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK |
                                       SECRET_SEARCH_LOAD_SECRETS),
        nullptr, &error);
    if (error) return statusOf(error);
    for (GList* node = results; node; node = node->next) {
        auto* retrievable = static_cast<SecretRetrievable*>(node->data);
        SecretValue* value = secret_retrievable_retrieve_secret_sync(retrievable, nullptr, nullptr);
        if (!value) continue;
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        if (auto item = SecureItem::parse(std::string_view(bytes, length)))
            found.push_back(std::move(*item));
        secret_value_unref(value);
    }
    g_list_free_full(results, g_object_unref);
    return kSecStatusSuccess;
}

}  // namespace

bool SecretServiceItemStore::answers() {
    static std::once_flag once;
    static bool answering = false;
    std::call_once(once, [] {
        // Without a session bus, libsecret would try to start one: not ours to do.
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (!bus || !*bus) return;
        GError* error = nullptr;
        SecretService* service =
            secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
        if (!service) {
            statusOf(error);
            return;
        }
        // Items go to the default collection. A keyring without one would have to ask the user
        // to make a keyring, in a prompt of its own, before anything is stored: such a keyring
        // is left alone and the files keep the items.
        SecretCollection* collection = secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
        g_object_unref(service);
        if (!collection) {
            statusOf(error);
            return;
        }
        g_object_unref(collection);
        std::vector<SecureItem> none;
        SecureItemQuery probe;
        probe.attributes.service = "org.pexmora.probe";
        answering = search(probe, none) == kSecStatusSuccess;
    });
    return answering;
}

SecStatus SecretServiceItemStore::copyMatching(const SecureItemQuery& query, std::string* data) {
    std::vector<SecureItem> found;
    if (SecStatus status = search(query, found); status != kSecStatusSuccess) return status;
    if (found.empty()) return kSecStatusItemNotFound;
    if (data) *data = found.front().data;
    return kSecStatusSuccess;
}

SecStatus SecretServiceItemStore::add(const SecureItemAttributes& attributes,
                                      const std::string& accessible, const std::string& data) {
    if (!attributes.itemClass) return kSecStatusParam;
    SecureItemQuery sameIdentity;
    sameIdentity.attributes.itemClass = attributes.itemClass;
    std::vector<SecureItem> found;
    if (SecStatus status = search(sameIdentity, found); status != kSecStatusSuccess) return status;
    for (const auto& item : found)
        if (item.attributes.sameIdentity(attributes)) return kSecStatusDuplicateItem;
    return store(SecureItem{attributes, accessible, data});
}

SecStatus SecretServiceItemStore::update(const SecureItemQuery& query, const std::string& data) {
    std::vector<SecureItem> found;
    if (SecStatus status = search(query, found); status != kSecStatusSuccess) return status;
    if (found.empty()) return kSecStatusItemNotFound;
    for (auto& item : found) {
        item.data = data;
        // Storing under the same attributes replaces the entry.
        if (SecStatus status = store(item); status != kSecStatusSuccess) return status;
    }
    return kSecStatusSuccess;
}

SecStatus SecretServiceItemStore::remove(const SecureItemQuery& query) {
    GError* error = nullptr;
    auto attributes = attributesFor(query.attributes, false);
    const gboolean removed =
        secret_password_clearv_sync(schema(), attributes.get(), nullptr, &error);
    if (error) return statusOf(error);
    return removed ? kSecStatusSuccess : kSecStatusItemNotFound;
}

}  // namespace pex
