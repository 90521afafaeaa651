// Stored records are decoded strictly: a record that does not fit throws nlohmann's own
// exception, which the settings store turns into "nothing stored". Anything else escaping, or a
// fault, is a defect. A record that decodes must encode and decode again to itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "service/AIInterviewModel.h"
#include "service/LanguageListModel.h"
#include "service/PXTranslationHistoryDetailsModel.h"
#include "service/UserBaseModel.h"

namespace {

template <typename Record>
void decode(const nlohmann::json& value) {
    Record record;
    try {
        record = value.get<Record>();
    } catch (const nlohmann::json::exception&) {
        return;
    }
    const nlohmann::json stored = record;
    if (!(stored.get<Record>() == record)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded()) return 0;
    decode<LanguageListModel>(value);
    decode<AIInterviewModel>(value);
    decode<UserBaseModel>(value);
    decode<PXTranslationHistoryDetailsModel>(value);
    return 0;
}
