#pragma once
// The application's settings and signed-in state, kept in the standard settings store under
// fixed keys. Plain values (texts, Booleans) go straight to the store; records go through the
// typed accessors, stored as JSON data; the service-line row goes through the integer bridge.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "service/DefaultsAdapter.h"
#include "service/DefaultsKey.h"
#include "service/SettingsKeys.h"

namespace pex {

class SettingsStore {
  public:
    // Plain keys. string: absent when missing or not text (an empty text is a stored text).
    // boolean: false when missing. set: replaces the value (null removes). remove: deletes.
    static std::optional<std::string> string(const std::string& key);
    static bool boolean(const std::string& key);
    // Absent when missing or not data (a JSON list stored by hand, for one).
    static std::optional<Bytes> data(const std::string& key);
    static void set(const std::string& key, nlohmann::json value);
    static void remove(const std::string& key);

    // Record accessors: a given record is stored as JSON data under the key, replacing what
    // was there; an absent record removes the key. Reading gives absent when the key is
    // missing, holds something other than data, or holds data that does not decode.
    template <typename Record>
    static void setRecord(const std::optional<Record>& record, const DefaultsKey<Record>& key) {
        Defaults().set(key, record);
    }
    template <typename Record>
    static std::optional<Record> record(const DefaultsKey<Record>& key) {
        return Defaults().get(key);
    }

    // "hostChannelSeletctType" through the integer bridge; absent when no line was chosen.
    static std::optional<int> hostChannelSelectType();
    static void setHostChannelSelectType(std::optional<int> row);

    // Resets "userInfo" in two steps: the record write with no record, then removal of the
    // key through its typed key; afterwards the key does not exist, whatever it held.
    static void resetUserInfo();

    // Ends the signed-in state: removes "LOGIN_TOKEN" and resets "userInfo". A logout or an
    // account log-off also forgets "isAutoLogin"; a rejected token (HTTP 401) keeps it.
    enum class AutoLogin { keep, forget };
    static void clearLogin(AutoLogin autoLogin);
};

}  // namespace pex
