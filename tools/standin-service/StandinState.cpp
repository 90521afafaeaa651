#include "standin-service/StandinState.h"

#include <chrono>
#include <ctime>
#include <random>

namespace pex::standin {

namespace {

std::string formatTime(std::time_t time, const char* format) {
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    char text[64];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

std::string randomHex(std::size_t length) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(length, '0');
    for (char& c : text) c = kHex[generator() % 16];
    return text;
}

}  // namespace

std::string isoTimeNow() {
    return formatTime(std::time(nullptr), "%Y-%m-%dT%H:%M:%SZ");
}

std::string serviceTimeNow() {
    return formatTime(std::time(nullptr) + 8 * 3600, "%Y-%m-%d %H:%M:%S");
}

nlohmann::json Account::userJson() const {
    nlohmann::json user = {
        {"user_code", userCode},
        {"nick_name", nickName},
        {"country_code", countryCode},
        {"phone", phone},
        {"point", point},
        {"duration", duration},
        {"last_login_at", lastLoginAt},
        {"type", type},
        {"foreign_time_package", 0},
        {"total_foreign_time_package", 0},
        {"total_time_package", totalTimePackage},
        {"time_package", timePackage},
        {"sumTimePackage", timePackage},
        {"sumTotalTimePackage", totalTimePackage},
    };
    if (resume) {
        user["resume"] = {{"resume_id", resume->id},
                          {"resume_name", resume->name},
                          {"created_at", resume->createdAt}};
    }
    return user;
}

StandinState::StandinState() {
    Account& demo = ensureAccount(data_, kDemoPhone);
    demo.password = kDemoPassword;
    demo.nickName = "演示用户";
    demo.timePackage = 7200;
    demo.totalTimePackage = 9000;
    demo.point = 120;
    demo.orders.push_back({"PX20250301093015001", "CNY", 4, "2025-03-01T01:30:40Z", 1,
                           "2小时面试时长", "39.90", "2025-03-01T01:30:15Z", false});
    ConsumeRecord used;
    used.id = "C1000";
    used.timePackage = 1800;
    used.duration = 1800;
    used.createdAt = "2025-03-02T06:00:00Z";
    used.open = false;
    demo.consumes.push_back(used);
}

Account& StandinState::ensureAccount(Data& data, const std::string& phone) {
    auto found = data.accounts.find(phone);
    if (found != data.accounts.end()) return found->second;
    Account account;
    account.phone = phone;
    account.userCode = "PX" + std::to_string(100000 + data.accounts.size() + 1);
    account.nickName = "用户" + phone.substr(phone.size() > 4 ? phone.size() - 4 : 0);
    account.timePackage = kNewAccountSeconds;
    account.totalTimePackage = kNewAccountSeconds;
    account.lastLoginAt = serviceTimeNow();
    return data.accounts.emplace(phone, std::move(account)).first->second;
}

std::string StandinState::newToken(Data& data, const std::string& phone) {
    std::string token = "stk_" + randomHex(32);
    data.tokens[token] = phone;
    return token;
}

std::string StandinState::nextId(Data& data, const std::string& prefix) {
    return prefix + std::to_string(++data.counter);
}

std::string StandinState::issueToken(const std::string& phone) {
    return with([&](Data& data) {
        ensureAccount(data, phone);
        return newToken(data, phone);
    });
}

std::string StandinState::issueProviderKey() {
    return with([&](Data& data) {
        std::string key = "sk-standin-" + randomHex(24);
        data.providerKeys.insert(key);
        return key;
    });
}

void StandinState::setBalance(const std::string& phone, std::int64_t seconds) {
    with([&](Data& data) { ensureAccount(data, phone).timePackage = seconds; });
}

std::int64_t StandinState::balance(const std::string& phone) {
    return with([&](Data& data) { return ensureAccount(data, phone).timePackage; });
}

void StandinState::setLoginMethod(int method) {
    with([&](Data& data) { data.loginMethod = method; });
}

std::optional<Account> StandinState::account(const std::string& phone) {
    return with([&](Data& data) -> std::optional<Account> {
        auto found = data.accounts.find(phone);
        if (found == data.accounts.end()) return std::nullopt;
        return found->second;
    });
}

}  // namespace pex::standin
