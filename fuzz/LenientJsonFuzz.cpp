// The forgiving readers of service models never fail: any JSON gives a model.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/AIInterviewModel.h"
#include "service/LanguageListModel.h"
#include "service/LenientJson.h"
#include "service/UserBaseModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)lenient::parseIntegerText(text);
    const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded()) return 0;
    (void)UserBaseModel::fromJSON(value);
    (void)UserResumeInfo::fromJSON(value);
    (void)AIInterviewModel::fromJSON(value);
    (void)LanguageListModel::fromJSON(value);
    (void)lenient::textValue(value);
    (void)lenient::integerValue(value);
    if (value.is_object()) {
        for (const auto& [key, field] : value.items()) {
            (void)lenient::text(value, key);
            (void)lenient::integer(value, key);
        }
    }
    return 0;
}
