// Every reply of the service passes through the envelope reading before any page sees it: the
// body is decoded without exceptions, logged with its secrets masked, and its "code" and
// "message" read leniently. None of that may fail on whatever the network delivers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/ConsoleRedaction.h"
#include "service/LenientJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const nlohmann::json reply = nlohmann::json::parse(body, nullptr, false);
    if (reply.is_discarded()) return 0;

    // The paths whose replies carry secrets, and one that carries none.
    for (const char* path : {"/ai/token", "/user/login", "/sms/send", "/language/list"}) {
        const nlohmann::json masked = redactedReply(reply, path);
        (void)masked.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        (void)redactedParameters(reply, path);
    }
    if (!reply.is_object()) return 0;
    (void)lenient::integerValue(lenient::field(reply, "code"));
    (void)lenient::text(reply, "message");
    (void)lenient::textValue(lenient::field(reply, "data"));
    return 0;
}
