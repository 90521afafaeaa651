#pragma once
// What the stand-in service remembers: accounts with their balance, records and résumé, the
// tokens it handed out, the SMS codes it "sent", open consumptions and uploaded files.
// Every access goes through `with`, which holds the state's lock.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex::standin {

struct ResumeRecord {
    std::string id;
    std::string name;
    std::string createdAt;
};

struct ConsumeRecord {
    std::string id;
    std::string function = "AI面试助攻";
    std::int64_t timePackage = 0;  // seconds charged so far
    std::int64_t duration = 0;
    std::string createdAt;
    bool open = true;
};

struct OrderRecord {
    std::string orderNo;
    std::string currency = "CNY";
    std::int64_t payMethod = 4;
    std::string payAt;
    std::int64_t payStatus = 1;
    std::string goodsName;
    std::string payMoney;
    std::string createdAt;
    bool receiptVerified = false;
    std::int64_t goodsId = 0;  // what a QR order buys
    int statusPolls = 0;       // "/order/status/" requests answered for it
};

struct Account {
    std::string phone;
    std::string countryCode = "86";
    std::string password;
    std::string userCode;
    std::string nickName;
    std::int64_t point = 0;
    std::int64_t duration = 0;
    std::string lastLoginAt;
    std::int64_t type = 1;
    std::int64_t timePackage = 0;       // remaining seconds ("sumTimePackage")
    std::int64_t totalTimePackage = 0;  // seconds ever bought or granted
    std::optional<ResumeRecord> resume;
    std::vector<ConsumeRecord> consumes;  // newest last
    std::vector<OrderRecord> orders;      // newest last

    // The "user" object of the login and profile replies.
    nlohmann::json userJson() const;
};

struct UploadedFile {
    std::string id;
    std::string fileName;
    std::uint64_t bytes = 0;
    std::string purpose;
    std::int64_t createdAt = 0;
};

class StandinState {
  public:
    static constexpr const char* kDemoPhone = "13800138000";
    static constexpr const char* kDemoPassword = "123456";
    // Every SMS code the stand-in "sends" is this one.
    static constexpr const char* kSmsCode = "123456";
    static constexpr std::int64_t kNewAccountSeconds = 600;

    struct Data {
        std::map<std::string, Account> accounts;      // by phone
        std::map<std::string, std::string> tokens;    // token → phone
        std::map<std::string, std::string> smsCodes;  // phone → code sent
        std::set<std::string> providerKeys;           // credentials for the file upload
        std::map<std::string, UploadedFile> uploads;  // by file id
        int loginMethod = 0;                          // 0 SMS code, 1 password
        std::uint64_t counter = 1000;                 // source of ids
        // The demo pays an open QR order by itself at this status request (0: only opening
        // its payment page pays it).
        int autoPayAfterPolls = 0;
        std::filesystem::path tokenFile;  // where tokens are kept; empty: nowhere
    };

    StandinState();

    // Runs `body` with the state locked.
    template <typename Body>
    auto with(Body&& body) {
        std::lock_guard lock(mutex_);
        return body(data_);
    }

    // Helpers for tests (each locks by itself).
    std::string issueToken(const std::string& phone);  // creates the account when missing
    std::string issueProviderKey();
    void setBalance(const std::string& phone, std::int64_t seconds);
    std::int64_t balance(const std::string& phone);
    void setLoginMethod(int method);
    std::optional<Account> account(const std::string& phone);

    // Keeps the tokens handed out in `file` (0600, its folder 0700) from now on, and takes back
    // those an earlier run kept there, so that a signed-in client stays signed in across
    // restarts of the stand-in. Answers false when the file could not be read (it is then
    // started afresh).
    bool keepTokensIn(const std::filesystem::path& file);

    // Used by the paths, with the lock already held.
    static Account& ensureAccount(Data& data, const std::string& phone);
    static std::string newToken(Data& data, const std::string& phone);
    // Writes the tokens to the token file, when there is one; after every change to them.
    static void saveTokens(const Data& data);
    static std::string nextId(Data& data, const std::string& prefix);

  private:
    std::mutex mutex_;
    Data data_;
};

// Time texts as the service writes them.
std::string isoTimeNow();      // "2025-03-01T16:30:00.000+0800" (China time)
std::string serviceTimeNow();  // "2025-03-01 16:30:00" (China time)

}  // namespace pex::standin
