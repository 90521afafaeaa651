// The installations service's replies become installations and auth tokens. Whatever the
// service sends, parsing gives a usable result or an error, never both, never a crash; a
// failure reply keeps its body and can always be described.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "beacon-core/installations/BCNInstallationsHTTPError.h"
#include "beacon-core/installations/BCNInstallationsItem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const BCNDate received(std::chrono::seconds(1'765'000'000));

    BCNInstallationsItem sent("1:123:ios:0a1b2c", "__BCNAPP_DEFAULT");
    sent.beaconInstallationID = "fSentSentSentSentSentS";
    sent.registrationStatus = BCNInstallationsRegistrationStatus::Unregistered;

    // A registration reply: a registered, valid installation, or an error.
    ErrorRef error;
    const auto registered = sent.registeredInstallationWithJSONData(body, received, &error);
    if (registered.has_value() == (error != nullptr)) __builtin_trap();
    if (registered) {
        if (registered->registrationStatus != BCNInstallationsRegistrationStatus::Registered ||
            !registered->isValid())
            __builtin_trap();
        const auto expiration = registered->authToken.expirationDate();
        if (!expiration || *expiration < received) __builtin_trap();
    }

    // A token reply: a received token that does not expire before it arrived, or an error.
    ErrorRef tokenError;
    const auto token =
        BCNInstallationsItem::authTokenWithGenerateTokenAPIJSONData(body, received, &tokenError);
    if (token.has_value() == (tokenError != nullptr)) __builtin_trap();
    if (token) {
        if (token->status() != BCNInstallationsAuthTokenStatus::TokenReceived ||
            token->token().value_or("").empty() || !token->expirationDate() ||
            *token->expirationDate() < received)
            __builtin_trap();
    }

    // The same bytes as the body of a failure reply.
    HTTPURLResponse response;
    response.url = "https://installations.invalid/v1/projects/p/installations/";
    response.statusCode = 400;
    const BCNInstallationsHTTPError failure(response, std::string(body));
    if (failure.data() != body) __builtin_trap();
    (void)failure.description();
    const auto decoded = BCNInstallationsHTTPError::decodeWithCoder(failure.encodeWithCoder());
    if (!decoded || decoded->data() != body || decoded->HTTPResponse().statusCode != 400)
        __builtin_trap();
    return 0;
}
