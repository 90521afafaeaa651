#pragma once
// What a promise resolves with: nothing (null), the null placeholder that stands for null
// inside arrays, an error, another promise, an array of values, or any other value in a box.
// Copies are cheap: errors, promises, arrays and boxes are shared, never copied.
#include <any>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Error.h"

namespace pex {

class PRMPromise;
using PRMPromiseRef = std::shared_ptr<PRMPromise>;

class PRMValue {
  public:
    enum class Kind { Null, NullPlaceholder, Error, Promise, Array, Boxed };
    using Array = std::vector<PRMValue>;

    PRMValue() = default;  // null
    PRMValue(std::nullptr_t) {}
    PRMValue(ErrorRef error);         // a null error gives null
    PRMValue(PRMPromiseRef promise);  // a null promise gives null
    PRMValue(Array items);

    static PRMValue nullPlaceholder();
    template <typename T>
    static PRMValue box(T value) {
        PRMValue out;
        out.storage_ = std::make_shared<const std::any>(std::move(value));
        return out;
    }

    Kind kind() const { return static_cast<Kind>(storage_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNullPlaceholder() const { return kind() == Kind::NullPlaceholder; }
    bool isError() const { return kind() == Kind::Error; }
    bool isPromise() const { return kind() == Kind::Promise; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isBoxed() const { return kind() == Kind::Boxed; }

    // Each gives null (or an empty array) when the value is of another kind.
    ErrorRef error() const;
    PRMPromiseRef promise() const;
    const Array& array() const;
    // The boxed value when it holds exactly a T.
    template <typename T>
    const T* as() const {
        const auto* box = std::get_if<Boxed>(&storage_);
        return box ? std::any_cast<T>(box->get()) : nullptr;
    }
    // The boxed value's type; typeid(void) when nothing is boxed.
    const std::type_info& boxedType() const;

    // The same value: the same kind and, for errors, promises and boxes, the same object.
    bool isIdenticalTo(const PRMValue& other) const;

    // "(null)", "<null>", an error's or promise's description, "(a, b)" for arrays; a boxed
    // text as itself, a boxed number as its digits (a Boolean as 1 or 0), other boxes by type.
    std::string description() const;

  private:
    struct NullTag {};
    struct PlaceholderTag {};
    using Boxed = std::shared_ptr<const std::any>;
    std::variant<NullTag, PlaceholderTag, ErrorRef, PRMPromiseRef, std::shared_ptr<const Array>,
                 Boxed>
        storage_;
};

}  // namespace pex
