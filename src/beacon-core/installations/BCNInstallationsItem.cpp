#include "beacon-core/installations/BCNInstallationsItem.h"

#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include <openssl/evp.h>

#include "beacon-core/installations/BCNInstallationsErrorUtil.h"

namespace pex {
namespace {

// Ten years: far beyond any token's life, and far from the limit of the dates' range.
constexpr double kLongestTokenLifetime = 10.0 * 365 * 24 * 60 * 60;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A lifetime is whole or fractional seconds with the unit "s" ("3600s", "1.5s"); anything
// else (a bare number, another unit, a sign, garbage) is no lifetime at all rather than a
// wrong one, and so is a lifetime beyond what a date can hold. Read by hand: the text comes
// from the network, and a pattern matcher's recursion grows with its length.
std::optional<double> lifetimeSeconds(const std::string& text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        return i > start;
    };
    if (!digits()) return std::nullopt;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits()) return std::nullopt;
    }
    if (i + 1 != text.size() || text[i] != 's') return std::nullopt;
    // strtod does not throw: an overlong number reads as infinity and is refused below.
    const double seconds = std::strtod(text.substr(0, i).c_str(), nullptr);
    if (!(seconds <= kLongestTokenLifetime)) return std::nullopt;
    return seconds;
}

// Replies of the installations service are small; anything larger is not one.
constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

void setError(ErrorRef* out, ErrorRef error) {
    if (out) *out = std::move(error);
}

bool isEmpty(const std::optional<std::string>& text) {
    return !text || text->empty();
}

// The 16 bytes of a new random (version 4) UUID.
std::array<unsigned char, 16> randomUUIDBytes() {
    static std::mutex mutex;
    static std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    std::array<unsigned char, 16> bytes{};
    {
        std::lock_guard lock(mutex);
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            const std::uint64_t value = generator();
            for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = (value >> (8 * j)) & 0xFF;
        }
    }
    bytes[6] = (bytes[6] & 0x0F) | 0x40;  // version 4
    bytes[8] = (bytes[8] & 0x3F) | 0x80;  // variant 1
    return bytes;
}

}  // namespace

BCNInstallationsItem::BCNInstallationsItem(std::string appID, std::string beaconAppName)
    : appID_(std::move(appID)), beaconAppName_(std::move(beaconAppName)) {}

std::string BCNInstallationsItem::identifierWithAppID(const std::string& appID,
                                                      const std::string& appName) {
    return appID + appName;
}

BCNInstallationsStoredItem BCNInstallationsItem::storedItem() const {
    BCNInstallationsStoredItem stored;
    stored.beaconInstallationID = beaconInstallationID;
    stored.refreshToken = refreshToken;
    stored.authToken = authToken;
    stored.registrationStatus = registrationStatus;
    stored.IIDDefaultToken = IIDDefaultToken;
    return stored;
}

void BCNInstallationsItem::updateWithStoredItem(const BCNInstallationsStoredItem& item) {
    beaconInstallationID = item.beaconInstallationID;
    refreshToken = item.refreshToken;
    authToken = item.authToken;
    registrationStatus = item.registrationStatus;
    IIDDefaultToken = item.IIDDefaultToken;
}

bool BCNInstallationsItem::isValid(ErrorRef* error) const {
    std::vector<std::string> problems;
    if (appID_.empty()) problems.push_back("`appID` must not be empty");
    if (beaconAppName_.empty()) problems.push_back("`beaconAppName` must not be empty");
    if (isEmpty(beaconInstallationID))
        problems.push_back("`beaconInstallationID` must not be empty");
    if (registrationStatus == BCNInstallationsRegistrationStatus::Unknown)
        problems.push_back("invalid `registrationStatus`");
    if (registrationStatus == BCNInstallationsRegistrationStatus::Registered) {
        if (isEmpty(refreshToken))
            problems.push_back("registered installation must have non-empty `refreshToken`");
        if (isEmpty(authToken.token()))
            problems.push_back("registered installation must have non-empty `authToken.token`");
        if (!authToken.expirationDate())
            problems.push_back(
                "registered installation must have non-empty `authToken.expirationDate`");
    }
    if (problems.empty()) return true;
    std::string joined;
    for (const auto& problem : problems) joined += (joined.empty() ? "" : ", ") + problem;
    setError(error, BCNInstallationsErrorUtil::installationsErrorWithCode(
                        BCNInstallationsErrorUtil::kErrorCodeUnknown,
                        "BCNInstallationsItem validation errors: " + joined, nullptr));
    return false;
}

std::string BCNInstallationsItem::generateFID() {
    const auto uuid = randomUUIDBytes();
    std::string bytes(1, static_cast<char>(0x70 | (uuid[15] & 0x0F)));
    bytes.append(reinterpret_cast<const char*>(uuid.data()), uuid.size());
    return base64URLEncodedStringWithData(bytes).substr(0, 22);
}

std::string BCNInstallationsItem::base64URLEncodedStringWithData(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(length));
    for (char& c : out) {
        if (c == '/') c = '_';
        if (c == '+') c = '-';
    }
    return out;
}

std::optional<nlohmann::json> BCNInstallationsItem::dictionaryFromJSONData(std::string_view data,
                                                                           ErrorRef* error) {
    nlohmann::json parsed;
    if (data.size() <= kMaxReplyBytes) parsed = nlohmann::json::parse(data, nullptr, false);
    if (!parsed.is_object()) {
        setError(error, BCNInstallationsErrorUtil::JSONSerializationError(nullptr));
        return std::nullopt;
    }
    return parsed;
}

std::optional<std::string> BCNInstallationsItem::validStringOrNilForKey(
    const std::string& key, const nlohmann::json& dict) {
    if (!dict.is_object()) return std::nullopt;
    auto found = dict.find(key);
    if (found == dict.end() || !found->is_string()) return std::nullopt;
    auto text = found->get<std::string>();
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<BCNInstallationsStoredAuthToken> BCNInstallationsItem::authTokenWithJSONDict(
    const nlohmann::json& dict, BCNDate date, ErrorRef* error) {
    auto token = validStringOrNilForKey("token", dict);
    if (!token) {
        setError(error, BCNInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(
                            "authToken.token"));
        return std::nullopt;
    }
    auto expiresIn = validStringOrNilForKey("expiresIn", dict);
    const auto seconds = expiresIn ? lifetimeSeconds(*expiresIn) : std::nullopt;
    if (!seconds) {
        setError(error, BCNInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(
                            "authToken.expiresIn"));
        return std::nullopt;
    }
    const std::chrono::duration<double> lifetime(*seconds);
    BCNInstallationsStoredAuthToken result;
    result.setStatus(BCNInstallationsAuthTokenStatus::TokenReceived);
    result.setToken(std::move(*token));
    result.setExpirationDate(date + std::chrono::duration_cast<BCNDate::duration>(lifetime));
    return result;
}

std::optional<BCNInstallationsStoredAuthToken>
BCNInstallationsItem::authTokenWithGenerateTokenAPIJSONData(std::string_view data, BCNDate date,
                                                            ErrorRef* error) {
    auto dict = dictionaryFromJSONData(data, error);
    if (!dict) return std::nullopt;
    return authTokenWithJSONDict(*dict, date, error);
}

std::optional<BCNInstallationsItem> BCNInstallationsItem::registeredInstallationWithJSONData(
    std::string_view data, BCNDate date, ErrorRef* error) const {
    auto dict = dictionaryFromJSONData(data, error);
    if (!dict) return std::nullopt;
    auto refresh = validStringOrNilForKey("refreshToken", *dict);
    if (!refresh) {
        setError(error, BCNInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(
                            "refreshToken"));
        return std::nullopt;
    }
    auto tokenDict = dict->find("authToken");
    if (tokenDict == dict->end() || !tokenDict->is_object()) {
        setError(error, BCNInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(
                            "authToken"));
        return std::nullopt;
    }
    auto token = authTokenWithJSONDict(*tokenDict, date, error);
    if (!token) return std::nullopt;

    BCNInstallationsItem registered(appID_, beaconAppName_);
    auto fid = validStringOrNilForKey("fid", *dict);
    registered.beaconInstallationID = fid ? fid : beaconInstallationID;
    registered.refreshToken = std::move(refresh);
    registered.authToken = *token;
    registered.registrationStatus = BCNInstallationsRegistrationStatus::Registered;
    return registered;
}

bool BCNInstallationsItem::operator==(const BCNInstallationsItem& other) const {
    return appID_ == other.appID_ && beaconAppName_ == other.beaconAppName_ &&
           beaconInstallationID == other.beaconInstallationID &&
           refreshToken == other.refreshToken && authToken == other.authToken &&
           registrationStatus == other.registrationStatus &&
           IIDDefaultToken == other.IIDDefaultToken;
}

}  // namespace pex
