// The "/language/list" reply becomes the languages the setup page offers; any reply gives a
// list, and every language in it can be stored and read back strictly.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/LanguageListModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json reply = nlohmann::json::parse(text, nullptr, false);
    if (reply.is_discarded()) return 0;
    const nlohmann::json& list =
        reply.is_object() && reply.contains("data") ? reply["data"] : reply;
    for (const LanguageListModel& language : LanguageListModel::listFromData(list)) {
        const nlohmann::json stored = language;
        if (!(stored.get<LanguageListModel>() == language)) __builtin_trap();
    }
    return 0;
}
