// The captcha page posts its result as a script message; the page is remote content, so the
// body may be anything. It is decoded as the message bridge decodes it, and only a well-formed
// success message yields a token.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Login/CaptchaViewController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    nlohmann::json body = nlohmann::json::parse(text, nullptr, false);
    if (body.is_discarded()) body = nullptr;
    if (const auto token = CaptchaViewController::validateToken(body)) {
        if (!body.is_object() || body.value("type", "") != "success") __builtin_trap();
    }
    return 0;
}
