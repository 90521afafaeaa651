#include "standin-service/StandinState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
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
    return formatTime(std::time(nullptr) + 8 * 3600, "%Y-%m-%dT%H:%M:%S.000+0800");
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
    demo.orders.push_back({"PX20250301093015001", "CNY", 4, "2025-03-01T09:30:40.000+0800", 1,
                           "2小时面试时长", "39.90", "2025-03-01T09:30:15.000+0800", false});
    ConsumeRecord used;
    used.id = "C1000";
    used.timePackage = 1800;
    used.duration = 1800;
    used.createdAt = "2025-03-02T14:00:00.000+0800";
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
    saveTokens(data);
    return token;
}

bool StandinState::keepTokensIn(const std::filesystem::path& file) {
    return with([&](Data& data) {
        data.tokenFile = file;
        std::ifstream in(file);
        if (!in) return !std::filesystem::exists(file);
        const nlohmann::json kept = nlohmann::json::parse(in, nullptr, false);
        if (!kept.is_object()) return false;
        for (const auto& [token, phone] : kept.items()) {
            if (!phone.is_string() || phone.get<std::string>().empty()) continue;
            ensureAccount(data, phone.get<std::string>());
            data.tokens[token] = phone.get<std::string>();
        }
        return true;
    });
}

void StandinState::saveTokens(const Data& data) {
    if (data.tokenFile.empty()) return;
    std::error_code error;
    const auto folder = data.tokenFile.parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        ::chmod(folder.c_str(), 0700);
    }
    const std::string text = nlohmann::json(data.tokens).dump();
    const std::filesystem::path temporary = data.tokenFile.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::fchmod(fd, 0600);
    ::close(fd);
    if (written) std::filesystem::rename(temporary, data.tokenFile, error);
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
