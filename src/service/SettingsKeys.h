#pragma once
// The keys of the settings store, in one place.

namespace pex {

// Every key of the store. The texts are stored in users' files: never change them.
struct SettingsKeys {
    static constexpr const char* loginToken = "LOGIN_TOKEN";   // text; absent: signed out
    static constexpr const char* isAutoLogin = "isAutoLogin";  // Boolean; absent: false
    static constexpr const char* userInfo = "userInfo";        // UserBaseModel record
    // Text: a complete service base address that overrides the built-in one.
    static constexpr const char* fuwuqiKey = "fuwuqi_key";
    // Integer: the row of the chosen service line (the key is spelled so on purpose).
    static constexpr const char* hostChannelSeletctType = "hostChannelSeletctType";
    static constexpr const char* aiInterviewSetModel = "aiInterviewSetModel";  // AIInterviewModel
    static constexpr const char* aiLangLeftModel = "aiLangLeftModel";          // LanguageListModel
    static constexpr const char* aiLangRightModel = "aiLangRightModel";        // LanguageListModel
    static constexpr const char* aiLangChinaModel = "aiLangChinaModel";        // LanguageListModel
    // A JSON list stored as data by the purchases code, outside the typed record accessors.
    static constexpr const char* pendingIAPOrders = "PendingIAPOrders";
};

}  // namespace pex
