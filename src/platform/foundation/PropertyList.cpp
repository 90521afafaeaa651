#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include "platform/foundation/BinaryPropertyListWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>

namespace pex {
using nlohmann::json;

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

// Deeper than any real property list; keeps a hostile file from exhausting the stack.
constexpr int kMaxDepth = 64;
constexpr const char* kDateTag = "$date";

std::string escapeKey(const std::string& key) {
    return !key.empty() && key[0] == '$' ? "$" + key : key;
}

std::string unescapeKey(const std::string& key) {
    return key.size() > 1 && key[0] == '$' && key[1] == '$' ? key.substr(1) : key;
}

// The text of a dictionary key node. The library's key accessor aborts the process on a key
// that holds a NUL byte, which a binary file can carry, and it has no accessor by length for
// keys; its XML writer reads any key safely, ending it at the first NUL as C text does. The
// writer escapes only "<", ">" and "&".
std::optional<std::string> keyText(plist_t keyNode) {
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(keyNode, &xml, &length);
    if (!xml) return std::nullopt;
    const std::string_view written(xml, length);
    constexpr std::string_view kOpen = "<key>", kClose = "</key>";
    const auto open = written.find(kOpen);
    const auto close = written.rfind(kClose);
    std::optional<std::string> text;
    if (open != std::string_view::npos && close != std::string_view::npos &&
        close >= open + kOpen.size()) {
        const std::string_view escaped =
            written.substr(open + kOpen.size(), close - open - kOpen.size());
        text.emplace();
        for (std::size_t at = 0; at < escaped.size();) {
            bool replaced = false;
            for (const auto& [entity, character] : {std::pair{std::string_view("&lt;"), '<'},
                                                    std::pair{std::string_view("&gt;"), '>'},
                                                    std::pair{std::string_view("&amp;"), '&'}}) {
                if (escaped.substr(at, entity.size()) == entity) {
                    text->push_back(character);
                    at += entity.size();
                    replaced = true;
                    break;
                }
            }
            if (!replaced) text->push_back(escaped[at++]);
        }
    }
    plist_to_xml_free(xml);
    return text;
}

plist_t toNode(const PropertyList& item) {
    struct Make {
        plist_t operator()(const std::string& text) const { return plist_new_string(text.c_str()); }
        // Integers travel as 64-bit patterns; a negative one comes back through the same cast.
        plist_t operator()(std::int64_t number) const {
            return plist_new_uint(static_cast<std::uint64_t>(number));
        }
        plist_t operator()(double number) const { return plist_new_real(number); }
        plist_t operator()(bool flag) const { return plist_new_bool(flag ? 1 : 0); }
        plist_t operator()(const PropertyList::Date& date) const {
            const PropertyListDateParts parts = propertyListDateParts(date);
            return plist_new_date(parts.seconds, parts.microseconds);
        }
        plist_t operator()(const PropertyList::Data& bytes) const {
            return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        plist_t operator()(const PropertyList::Array& items) const {
            plist_t node = plist_new_array();
            for (const auto& each : items) plist_array_append_item(node, toNode(each));
            return node;
        }
        plist_t operator()(const PropertyList::Dictionary& entries) const {
            plist_t node = plist_new_dict();
            for (const auto& [key, each] : entries)
                plist_dict_set_item(node, key.c_str(), toNode(each));
            return node;
        }
    };
    return std::visit(Make{}, item.value());
}

std::optional<PropertyList> fromNode(plist_t node, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (plist_get_node_type(node)) {
        case PLIST_DICT: {
            PropertyList::Dictionary out;
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            std::optional<PropertyList> result;
            for (;;) {
                plist_t item = nullptr;
                plist_dict_next_item(node, iter, nullptr, &item);
                if (!item) {
                    result = PropertyList(std::move(out));
                    break;
                }
                auto converted = fromNode(item, depth + 1);
                const auto key = keyText(plist_dict_item_get_key(item));
                if (!converted || !key) break;
                out.insert_or_assign(*key, std::move(*converted));
            }
            std::free(iter);
            return result;
        }
        case PLIST_ARRAY: {
            PropertyList::Array out;
            for (uint32_t i = 0, n = plist_array_get_size(node); i < n; ++i) {
                auto converted = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!converted) return std::nullopt;
                out.push_back(std::move(*converted));
            }
            return PropertyList(std::move(out));
        }
        case PLIST_STRING: {
            // The copying accessor aborts the process on a text holding a NUL byte, which a
            // damaged or hostile file can contain. The length the library keeps may then run
            // past the bytes it holds, so the text ends at the first NUL, as a key does.
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return PropertyList(text ? std::string(text, strnlen(text, length)) : std::string());
        }
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return PropertyList(flag != 0);
        }
        case PLIST_UINT: {
            uint64_t number = 0;
            plist_get_uint_val(node, &number);
            return PropertyList(static_cast<std::int64_t>(number));
        }
        case PLIST_REAL: {
            double number = 0;
            plist_get_real_val(node, &number);
            return PropertyList(number);
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            PropertyList::Data out(bytes, bytes + (bytes ? length : 0));
            std::free(bytes);
            return PropertyList(std::move(out));
        }
        case PLIST_DATE: {
            int32_t seconds = 0, micro = 0;
            plist_get_date_val(node, &seconds, &micro);
            return PropertyList(PropertyList::Date{seconds + micro / 1e6});
        }
        default:
            return std::nullopt;  // keys and UIDs appear only inside other formats
    }
}

}  // namespace

const PropertyList* PropertyList::find(const std::string& key) const {
    const auto* entries = get<Dictionary>();
    if (!entries) return nullptr;
    auto found = entries->find(key);
    return found == entries->end() ? nullptr : &found->second;
}

std::string PropertyList::serialize(Format format) const {
    if (format == Format::Binary) return binaryPropertyList(*this);
    PlistHandle root(toNode(*this));
    char* bytes = nullptr;
    uint32_t length = 0;
    std::string out;
    plist_to_xml(root.get(), &bytes, &length);
    if (bytes) out.assign(bytes, length);
    plist_to_xml_free(bytes);
    return out;
}

std::optional<PropertyList> PropertyList::parse(std::string_view bytes, std::string* problem,
                                                std::size_t maxBytes) {
    auto fail = [&](const char* why) -> std::optional<PropertyList> {
        if (problem) *problem = why;
        return std::nullopt;
    };
    if (bytes.empty()) return fail("empty");
    if (bytes.size() > maxBytes || bytes.size() > std::numeric_limits<uint32_t>::max())
        return fail("too large");
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    PlistHandle owner(root);
    if (!root) return fail("not a property list");
    auto out = fromNode(root, 0);
    if (!out) return fail("nested too deeply or holds an unsupported value");
    return out;
}

json PropertyList::toJson() const {
    struct Make {
        json operator()(const std::string& text) const { return text; }
        json operator()(std::int64_t number) const { return number; }
        json operator()(double number) const { return number; }
        json operator()(bool flag) const { return flag; }
        json operator()(const Date& date) const {
            return json{{kDateTag, date.secondsSinceReferenceDate}};
        }
        json operator()(const Data& bytes) const { return json::binary(bytes); }
        json operator()(const Array& items) const {
            json out = json::array();
            for (const auto& each : items) out.push_back(each.toJson());
            return out;
        }
        json operator()(const Dictionary& entries) const {
            json out = json::object();
            for (const auto& [key, each] : entries) out[escapeKey(key)] = each.toJson();
            return out;
        }
    };
    return std::visit(Make{}, value_);
}

std::optional<PropertyList> PropertyList::fromJson(const json& value) {
    switch (value.type()) {
        case json::value_t::string:
            return PropertyList(value.get<std::string>());
        case json::value_t::boolean:
            return PropertyList(value.get<bool>());
        case json::value_t::number_integer:
            return PropertyList(value.get<std::int64_t>());
        case json::value_t::number_unsigned: {
            const auto number = value.get<std::uint64_t>();
            if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return PropertyList(static_cast<double>(number));
            return PropertyList(static_cast<std::int64_t>(number));
        }
        case json::value_t::number_float:
            return PropertyList(value.get<double>());
        case json::value_t::binary: {
            const auto& bytes = value.get_binary();
            return PropertyList(Data(bytes.begin(), bytes.end()));
        }
        case json::value_t::array: {
            Array out;
            for (const auto& each : value) {
                auto converted = fromJson(each);
                if (!converted) return std::nullopt;
                out.push_back(std::move(*converted));
            }
            return PropertyList(std::move(out));
        }
        case json::value_t::object: {
            if (value.size() == 1 && value.contains(kDateTag) && value[kDateTag].is_number())
                return PropertyList(Date{value[kDateTag].get<double>()});
            Dictionary out;
            for (const auto& [key, each] : value.items()) {
                auto converted = fromJson(each);
                if (!converted) return std::nullopt;
                out.insert_or_assign(unescapeKey(key), std::move(*converted));
            }
            return PropertyList(std::move(out));
        }
        default:
            return std::nullopt;
    }
}

std::string PropertyList::description() const {
    struct Describe {
        std::string operator()(const std::string& text) const { return "\"" + text + "\""; }
        std::string operator()(std::int64_t number) const { return std::to_string(number); }
        std::string operator()(double number) const { return json(number).dump(); }
        std::string operator()(bool flag) const { return flag ? "1" : "0"; }
        std::string operator()(const Date& date) const {
            return "date(" + json(date.secondsSinceReferenceDate).dump() + ")";
        }
        std::string operator()(const Data& bytes) const {
            return "{length = " + std::to_string(bytes.size()) + "}";
        }
        std::string operator()(const Array& items) const {
            std::string out = "(";
            for (std::size_t i = 0; i < items.size(); ++i)
                out += (i ? ", " : "") + items[i].description();
            return out + ")";
        }
        std::string operator()(const Dictionary& entries) const {
            std::string out = "{";
            for (const auto& [key, each] : entries) out += key + " = " + each.description() + "; ";
            return out + "}";
        }
    };
    return std::visit(Describe{}, value_);
}

}  // namespace pex
