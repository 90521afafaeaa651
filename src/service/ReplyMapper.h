#pragma once
// Maps a service reply value onto a reply model by field name, the way the pages read typed
// replies: the value must be a JSON object (a JSON array for a list); each field takes the
// value of the key with its name; a key that is missing or null, or whose value does not
// convert to the field's type, leaves the field at its default; a number given for a text
// field becomes its decimal text and a text holding a number given for an integer field becomes
// that number; nested models and lists are mapped by the same rule; other keys are ignored.
//
// A model takes part by having a member `void mapping(ReplyMapper& map)` that names its fields.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

class ReplyMapper {
  public:
    // Maps a value (the whole reply or its "data"). The value is first turned into JSON text as
    // the reply handling does; a value that cannot be (invalid UTF-8 text) yields no model.
    template <typename Model>
    static std::optional<Model> map(const nlohmann::json& value) {
        return mapText<Model>(textOf(value));
    }
    template <typename Model>
    static std::optional<Model> mapText(std::string_view text) {
        const auto parsed = parse(text);
        if (!parsed || !parsed->is_object()) return std::nullopt;
        return mapObject<Model>(*parsed);
    }

    // A list reply: every element must be an object, otherwise the reply has no list at all.
    template <typename Model>
    static std::optional<std::vector<Model>> mapList(const nlohmann::json& value) {
        return mapListText<Model>(textOf(value));
    }
    template <typename Model>
    static std::optional<std::vector<Model>> mapListText(std::string_view text) {
        const auto parsed = parse(text);
        if (!parsed || !parsed->is_array()) return std::nullopt;
        std::vector<Model> models;
        models.reserve(parsed->size());
        for (const auto& element : *parsed) {
            if (!element.is_object()) return std::nullopt;
            models.push_back(mapObject<Model>(element));
        }
        return models;
    }

    explicit ReplyMapper(const nlohmann::json& object) : object_(object) {}

    void text(std::string_view key, std::optional<std::string>& field) const;
    void integer(std::string_view key, std::int64_t& field) const;
    void flag(std::string_view key, bool& field) const;
    void texts(std::string_view key, std::optional<std::vector<std::string>>& field) const;

    template <typename Model>
    void model(std::string_view key, std::optional<Model>& field) const {
        const nlohmann::json* value = find(key);
        if (value && value->is_object()) field = mapObject<Model>(*value);
    }
    // Elements that are not objects are left out of a nested list.
    template <typename Model>
    void models(std::string_view key, std::optional<std::vector<Model>>& field) const {
        const nlohmann::json* value = find(key);
        if (!value || !value->is_array()) return;
        std::vector<Model> list;
        for (const auto& element : *value) {
            if (element.is_object()) list.push_back(mapObject<Model>(element));
        }
        field = std::move(list);
    }

    // Conversions of one value; none when the value does not convert.
    static std::optional<std::string> textFrom(const nlohmann::json& value);
    static std::optional<std::int64_t> integerFrom(const nlohmann::json& value);

  private:
    template <typename T>
    struct IsShared : std::false_type {};
    template <typename T>
    struct IsShared<std::shared_ptr<T>> : std::true_type {};

    template <typename Model>
    static Model mapObject(const nlohmann::json& object) {
        ReplyMapper mapper(object);
        if constexpr (IsShared<Model>::value) {
            // Models with reference semantics are handed out as shared objects.
            auto model = std::make_shared<typename Model::element_type>();
            model->mapping(mapper);
            return model;
        } else {
            Model model{};
            model.mapping(mapper);
            return model;
        }
    }

    static std::string textOf(const nlohmann::json& value);
    static std::optional<nlohmann::json> parse(std::string_view text);
    const nlohmann::json* find(std::string_view key) const;

    const nlohmann::json& object_;
};

}  // namespace pex
