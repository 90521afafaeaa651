#pragma once
// An auth token of the installations service as it is kept: whether one was received, the
// token and when it expires. The token and its expiration date are read and written together
// under a lock. Archivable; written with storage version 1, and a newer version is read with a
// warning, keeping the known fields.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"

namespace pex {

using BCNDate = std::chrono::system_clock::time_point;

enum class BCNInstallationsAuthTokenStatus : std::int64_t { Unknown = 0, TokenReceived = 1 };

class BCNInstallationsStoredAuthToken {
  public:
    static constexpr const char* kArchiveClassName = "BCNInstallationsStoredAuthToken";
    static constexpr std::int64_t kStorageVersion = 1;

    BCNInstallationsStoredAuthToken() = default;
    BCNInstallationsStoredAuthToken(const BCNInstallationsStoredAuthToken& other);
    BCNInstallationsStoredAuthToken& operator=(const BCNInstallationsStoredAuthToken& other);

    BCNInstallationsAuthTokenStatus status() const;
    void setStatus(BCNInstallationsAuthTokenStatus status);
    std::optional<std::string> token() const;
    void setToken(std::optional<std::string> token);
    std::optional<BCNDate> expirationDate() const;
    void setExpirationDate(std::optional<BCNDate> date);

    bool operator==(const BCNInstallationsStoredAuthToken& other) const;

    PropertyList::Dictionary encodeWithCoder() const;
    static std::optional<BCNInstallationsStoredAuthToken> decodeWithCoder(
        const PropertyList::Dictionary& values);

    // Dates as the archives keep them: seconds since 2001-01-01 UTC.
    static PropertyList::Date archivedDate(BCNDate date);
    static BCNDate dateFromArchive(PropertyList::Date date);

  private:
    mutable std::mutex mutex_;
    BCNInstallationsAuthTokenStatus status_ = BCNInstallationsAuthTokenStatus::Unknown;
    std::optional<std::string> token_;
    std::optional<BCNDate> expirationDate_;
};

}  // namespace pex
