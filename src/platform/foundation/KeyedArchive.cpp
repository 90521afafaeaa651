#include "platform/foundation/KeyedArchive.h"

namespace pex {

namespace {
constexpr const char* kFormatKey = "$archiver";
constexpr const char* kFormatName = "PexmoraKeyedArchive";
constexpr const char* kVersionKey = "$version";
constexpr const char* kClassKey = "$class";
constexpr const char* kValuesKey = "$values";
}  // namespace

std::string KeyedArchive::archive(const std::string& className, PropertyList::Dictionary values) {
    PropertyList::Dictionary top{{kFormatKey, PropertyList(kFormatName)},
                                 {kVersionKey, PropertyList(kVersion)},
                                 {kClassKey, PropertyList(className)},
                                 {kValuesKey, PropertyList(std::move(values))}};
    return PropertyList(std::move(top)).serialize(PropertyList::Format::Binary);
}

std::optional<PropertyList::Dictionary> KeyedArchive::unarchive(std::string_view bytes,
                                                                const std::string& className,
                                                                std::string* problem) {
    auto fail = [&](std::string why) -> std::optional<PropertyList::Dictionary> {
        if (problem) *problem = std::move(why);
        return std::nullopt;
    };
    std::string parseProblem;
    auto top = PropertyList::parse(bytes, &parseProblem);
    if (!top) return fail("not an archive: " + parseProblem);
    const auto* format = top->find(kFormatKey);
    if (!format || !format->is<std::string>() || *format->get<std::string>() != kFormatName)
        return fail("not an archive of ours");
    const auto* version = top->find(kVersionKey);
    if (!version || !version->is<std::int64_t>() || *version->get<std::int64_t>() > kVersion)
        return fail("archive version not supported");
    const auto* archived = top->find(kClassKey);
    if (!archived || !archived->is<std::string>()) return fail("archive without a class name");
    if (*archived->get<std::string>() != className)
        return fail("archive holds a " + *archived->get<std::string>() + ", not a " + className);
    const auto* values = top->find(kValuesKey);
    if (!values || !values->is<PropertyList::Dictionary>()) return fail("archive without values");
    return *values->get<PropertyList::Dictionary>();
}

}  // namespace pex
