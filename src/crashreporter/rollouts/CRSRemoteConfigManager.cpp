#include "crashreporter/rollouts/CRSRemoteConfigManager.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "crashreporter/runtime/CRSHex.h"

namespace pex {

namespace {

// Bytes in the lead byte's UTF-8 sequence (1 for a stray byte, so nothing is skipped).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The longest prefix of `text` holding at most `limit` UTF-16 units, never splitting a
// character; nothing when the whole text fits.
std::optional<std::string> prefixOfUTF16Units(const std::string& text, std::size_t limit) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bytes = sequenceLength(static_cast<unsigned char>(text[at]));
        const std::size_t width = bytes == 4 ? 2 : 1;
        if (units + width > limit) return text.substr(0, at);
        units += width;
        at += bytes;
    }
    return std::nullopt;
}

// The text in quotes with quotes, backslashes and control characters escaped.
std::string debugQuoted(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json encodedAssignments(const std::vector<BCNRolloutAssignmentRef>& assignments) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& each : assignments) {
        list.push_back(
            {{"rollout_id", CRSRemoteConfigManager::stringToHexConverterFor(each->rolloutId)},
             {"variant_id", CRSRemoteConfigManager::stringToHexConverterFor(each->variantId)},
             {"template_version", each->templateVersion},
             {"parameter_key", CRSRemoteConfigManager::stringToHexConverterFor(each->parameterKey)},
             {"parameter_value",
              CRSRemoteConfigManager::stringToHexConverterFor(each->parameterValue)}});
    }
    return list;
}

}  // namespace

BCNRolloutsState::BCNRolloutsState(const std::vector<BCNRolloutAssignmentRef>& assignmentList) {
    for (const auto& each : assignmentList) {
        bool seen = false;
        for (const auto& kept : assignments) seen = seen || kept == each;
        if (each && !seen) assignments.push_back(each);
    }
}

CRSRemoteConfigManager::CRSRemoteConfigManager(
    std::shared_ptr<BCNRemoteConfigInterop> remoteConfig,
    std::shared_ptr<CRSPersistenceLog> persistenceDelegate)
    : remoteConfig_(std::move(remoteConfig)),
      persistenceDelegate_(std::move(persistenceDelegate)) {}

void CRSRemoteConfigManager::updateRolloutsStateWithRolloutsState(const BCNRolloutsState& state,
                                                                  const std::string& reportID) {
    {
        std::lock_guard guard(lock_);
        std::vector<BCNRolloutAssignmentRef> list = state.assignments;
        if (list.size() > kMaxAssignments) {
            if (persistenceDelegate_) {
                persistenceDelegate_->debugLogWithMessage(
                    "Rollouts excess the maximum number of assignments can pass to CrashReporter");
            }
            list.resize(kMaxAssignments);
        }
        for (const auto& each : list) {
            auto cut = prefixOfUTF16Units(each->parameterValue, kMaxParameterValueLength);
            if (!cut) continue;
            const std::string line =
                debugQuoted(
                    "Rollouts excess the maximum length of parameter value can pass to "
                    "CrashReporter") +
                " " + debugQuoted(each->parameterValue) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
            each->parameterValue = std::move(*cut);
        }
        rolloutAssignment_ = std::move(list);
    }
    const nlohmann::json persisted = {{"rollouts", encodedAssignments(rolloutAssignment())}};
    if (persistenceDelegate_) {
        persistenceDelegate_->updateRolloutsStateToPersistenceWithRollouts(persisted.dump(),
                                                                           reportID);
    }
}

std::vector<BCNRolloutAssignmentRef> CRSRemoteConfigManager::rolloutAssignment() const {
    std::lock_guard guard(lock_);
    return rolloutAssignment_;
}

std::optional<std::string> CRSRemoteConfigManager::getRolloutAssignmentsEncodedJsonString() const {
    // nlohmann keeps object keys sorted, which is the order this text needs.
    return encodedAssignments(rolloutAssignment()).dump();
}

std::string CRSRemoteConfigManager::stringToHexConverterFor(const std::string& text) {
    return CRSNSDataToNSString({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace pex
