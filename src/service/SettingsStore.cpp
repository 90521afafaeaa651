#include "service/SettingsStore.h"

#include "platform/foundation/UserDefaults.h"

namespace pex {

namespace {

// "userInfo" as a typed key for its reset. The reset never decodes a record, so the key is
// typed over plain JSON and this file does not depend on the profile model.
DefaultsKey<nlohmann::json> userInfoKey() {
    return DefaultsKey<nlohmann::json>(SettingsKeys::userInfo);
}

DefaultsKey<int> hostChannelKey() {
    return DefaultsKey<int>(SettingsKeys::hostChannelSeletctType);
}

}  // namespace

std::optional<std::string> SettingsStore::string(const std::string& key) {
    return UserDefaults::standard().string(key);
}

std::optional<Bytes> SettingsStore::data(const std::string& key) {
    return UserDefaults::standard().data(key);
}

bool SettingsStore::boolean(const std::string& key) {
    return UserDefaults::standard().boolean(key);
}

void SettingsStore::set(const std::string& key, nlohmann::json value) {
    UserDefaults::standard().set(key, std::move(value));
}

void SettingsStore::remove(const std::string& key) {
    UserDefaults::standard().remove(key);
}

std::optional<int> SettingsStore::hostChannelSelectType() {
    return Defaults().get(hostChannelKey());
}

void SettingsStore::setHostChannelSelectType(std::optional<int> row) {
    Defaults().set(hostChannelKey(), row);
}

void SettingsStore::resetUserInfo() {
    setRecord<nlohmann::json>(std::nullopt, userInfoKey());
    Defaults().remove(userInfoKey());
}

void SettingsStore::clearLogin(AutoLogin autoLogin) {
    remove(SettingsKeys::loginToken);
    resetUserInfo();
    if (autoLogin == AutoLogin::forget) remove(SettingsKeys::isAutoLogin);
}

}  // namespace pex
