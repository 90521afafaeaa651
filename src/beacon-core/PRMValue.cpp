#include "beacon-core/PRMValue.h"

#include <typeinfo>

#include "beacon-core/PRMPromise.h"

namespace pex {

PRMValue::PRMValue(ErrorRef error) {
    if (error) storage_ = std::move(error);
}

PRMValue::PRMValue(PRMPromiseRef promise) {
    if (promise) storage_ = std::move(promise);
}

PRMValue::PRMValue(Array items) : storage_(std::make_shared<const Array>(std::move(items))) {}

PRMValue PRMValue::nullPlaceholder() {
    PRMValue out;
    out.storage_ = PlaceholderTag{};
    return out;
}

ErrorRef PRMValue::error() const {
    const auto* error = std::get_if<ErrorRef>(&storage_);
    return error ? *error : nullptr;
}

PRMPromiseRef PRMValue::promise() const {
    const auto* promise = std::get_if<PRMPromiseRef>(&storage_);
    return promise ? *promise : nullptr;
}

const PRMValue::Array& PRMValue::array() const {
    static const Array kEmpty;
    const auto* items = std::get_if<std::shared_ptr<const Array>>(&storage_);
    return items ? **items : kEmpty;
}

const std::type_info& PRMValue::boxedType() const {
    const auto* box = std::get_if<Boxed>(&storage_);
    return box ? (*box)->type() : typeid(void);
}

bool PRMValue::isIdenticalTo(const PRMValue& other) const {
    if (kind() != other.kind()) return false;
    switch (kind()) {
        case Kind::Null:
        case Kind::NullPlaceholder:
            return true;
        case Kind::Error:
            return error() == other.error();
        case Kind::Promise:
            return promise() == other.promise();
        case Kind::Array: {
            const Array& mine = array();
            const Array& theirs = other.array();
            if (mine.size() != theirs.size()) return false;
            for (std::size_t i = 0; i < mine.size(); ++i)
                if (!mine[i].isIdenticalTo(theirs[i])) return false;
            return true;
        }
        case Kind::Boxed:
            return std::get<Boxed>(storage_) == std::get<Boxed>(other.storage_);
    }
    return false;
}

std::string PRMValue::description() const {
    switch (kind()) {
        case Kind::Null:
            return "(null)";
        case Kind::NullPlaceholder:
            return "<null>";
        case Kind::Error:
            return error()->description();
        case Kind::Promise:
            return promise()->description();
        case Kind::Array: {
            std::string out = "(";
            for (std::size_t i = 0; i < array().size(); ++i)
                out += (i ? ", " : "") + array()[i].description();
            return out + ")";
        }
        case Kind::Boxed:
            break;
    }
    if (const auto* text = as<std::string>()) return *text;
    if (const auto* flag = as<bool>()) return *flag ? "1" : "0";
    if (const auto* number = as<std::int64_t>()) return std::to_string(*number);
    if (const auto* number = as<int>()) return std::to_string(*number);
    if (const auto* number = as<double>()) return nlohmann::json(*number).dump();
    return std::string("<") + boxedType().name() + ">";
}

}  // namespace pex
