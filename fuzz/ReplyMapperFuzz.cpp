// Typed replies are mapped onto their models field by field; any text the service sends must
// yield a model or none, never a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/BaseNetModel.h"
#include "service/CheckVersionModel.h"
#include "service/CountryListModel.h"
#include "service/LoginUserModel.h"
#include "service/RechargeModel.h"
#include "service/ReplyMapper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)ReplyMapper::mapText<BaseNetModel>(text);
    (void)ReplyMapper::mapText<CheckVersionModel>(text);
    (void)ReplyMapper::mapText<LoginUserModel>(text);
    (void)ReplyMapper::mapListText<CountryListModel>(text);
    (void)ReplyMapper::mapListText<RechargeModel>(text);

    // The same text decoded first, as the pages hand over a reply's "data".
    const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded()) return 0;
    (void)ReplyMapper::map<BaseNetModel>(value);
    (void)ReplyMapper::mapList<RechargeModel>(value);
    (void)ReplyMapper::textFrom(value);
    (void)ReplyMapper::integerFrom(value);
    return 0;
}
