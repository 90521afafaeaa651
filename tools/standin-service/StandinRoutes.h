#pragma once
// The service's paths as the stand-in answers them, grouped by area.
#include <optional>
#include <string>

#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"

namespace pex::standin {

void registerDefaultPaths(StandinService& service);
void registerUserPaths(StandinService& service);
void registerBillingPaths(StandinService& service);
void registerOrderPaths(StandinService& service);  // part of the billing paths
void registerContentPaths(StandinService& service);

// Helpers shared by the path files.
// The phone of the account the call's bearer token belongs to; none when the token is unknown.
std::optional<std::string> signedInPhone(StandinState::Data& data, const Call& call);
// The service's answer to a missing or stale token.
Reply sessionExpired();
// "http://<Host header>", the origin the call was sent to.
std::string originOf(const Call& call);
// The PNG of a QR code holding `text`.
std::string qrCodePng(const std::string& text);

}  // namespace pex::standin
