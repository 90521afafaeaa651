// The order and consumption pages take one page of records from the service's "data"; a
// malformed page must give no list, never a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/ConsumeDataModel.h"
#include "service/OrderDataModel.h"
#include "service/ReplyMapper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json reply = nlohmann::json::parse(text, nullptr, false);
    if (reply.is_discarded()) return 0;
    const nlohmann::json& page =
        reply.is_object() && reply.contains("data") ? reply["data"] : reply;
    if (const auto orders = ReplyMapper::map<OrderDataModel>(page); orders && orders->data) {
        for (const auto& order : *orders->data) (void)order;
    }
    if (const auto consumed = ReplyMapper::map<ConsumeDataModel>(page);
        consumed && consumed->data) {
        for (const auto& record : *consumed->data) (void)record;
    }
    return 0;
}
