// Text messages of the cloud speech service's WebSocket: headers, a blank line, a JSON body.
// Whatever arrives parses into a message or none.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/speech/SpeechServiceMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto message = SpeechServiceMessage::parse(text);
    if (!message) return 0;
    (void)message->path();
    const nlohmann::json body = nlohmann::json::parse(message->body, nullptr, false);
    if (body.is_object()) (void)body.contains("Text");
    return 0;
}
