#include "beacon-core/installations/BCNInstallationsStoredAuthToken.h"

#include "beacon-core/installations/BCNInstallationsArchiveReading.h"
#include "beacon-core/installations/BCNInstallationsLogging.h"
#include "platform/foundation/ReferenceDate.h"

namespace pex {
BCNInstallationsStoredAuthToken::BCNInstallationsStoredAuthToken(
    const BCNInstallationsStoredAuthToken& other) {
    std::lock_guard lock(other.mutex_);
    status_ = other.status_;
    token_ = other.token_;
    expirationDate_ = other.expirationDate_;
}

BCNInstallationsStoredAuthToken& BCNInstallationsStoredAuthToken::operator=(
    const BCNInstallationsStoredAuthToken& other) {
    if (this == &other) return *this;
    BCNInstallationsStoredAuthToken copy(other);
    std::lock_guard lock(mutex_);
    status_ = copy.status_;
    token_ = std::move(copy.token_);
    expirationDate_ = copy.expirationDate_;
    return *this;
}

BCNInstallationsAuthTokenStatus BCNInstallationsStoredAuthToken::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}
void BCNInstallationsStoredAuthToken::setStatus(BCNInstallationsAuthTokenStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}
std::optional<std::string> BCNInstallationsStoredAuthToken::token() const {
    std::lock_guard lock(mutex_);
    return token_;
}
void BCNInstallationsStoredAuthToken::setToken(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    token_ = std::move(token);
}
std::optional<BCNDate> BCNInstallationsStoredAuthToken::expirationDate() const {
    std::lock_guard lock(mutex_);
    return expirationDate_;
}
void BCNInstallationsStoredAuthToken::setExpirationDate(std::optional<BCNDate> date) {
    std::lock_guard lock(mutex_);
    expirationDate_ = date;
}

bool BCNInstallationsStoredAuthToken::operator==(
    const BCNInstallationsStoredAuthToken& other) const {
    if (this == &other) return true;
    std::scoped_lock lock(mutex_, other.mutex_);
    return status_ == other.status_ && token_ == other.token_ &&
           expirationDate_ == other.expirationDate_;
}

PropertyList::Date BCNInstallationsStoredAuthToken::archivedDate(BCNDate date) {
    return PropertyList::Date{ReferenceDate::secondsSince(date)};
}

BCNDate BCNInstallationsStoredAuthToken::dateFromArchive(PropertyList::Date date) {
    return ReferenceDate::timePoint(date.secondsSinceReferenceDate);
}

PropertyList::Dictionary BCNInstallationsStoredAuthToken::encodeWithCoder() const {
    const BCNInstallationsStoredAuthToken copy(*this);
    PropertyList::Dictionary values{
        {"status", PropertyList(static_cast<std::int64_t>(copy.status_))},
        {"storageVersion", PropertyList(kStorageVersion)}};
    if (copy.token_) values["token"] = PropertyList(*copy.token_);
    if (copy.expirationDate_)
        values["expirationDate"] = PropertyList(archivedDate(*copy.expirationDate_));
    return values;
}

std::optional<BCNInstallationsStoredAuthToken> BCNInstallationsStoredAuthToken::decodeWithCoder(
    const PropertyList::Dictionary& values) {
    const std::int64_t version = BCNArchiveReading::integer(values, "storageVersion");
    if (version > kStorageVersion)
        BCNLogWarning(kBCNInstallationsLogService,
                      BCNInstallationsMessageCode::kStoredAuthTokenNewerVersion,
                      "BCNInstallationsStoredAuthToken was encoded by a newer coder version %ld. "
                      "Current coder version is %ld. Some auth token data may be lost.",
                      version, kStorageVersion);
    BCNInstallationsStoredAuthToken token;
    token.status_ =
        static_cast<BCNInstallationsAuthTokenStatus>(BCNArchiveReading::integer(values, "status"));
    token.token_ = BCNArchiveReading::text(values, "token");
    if (auto date = BCNArchiveReading::date(values, "expirationDate"))
        token.expirationDate_ = dateFromArchive(*date);
    return token;
}

}  // namespace pex
