#pragma once
// How typed values cross into the core promise and back. Into the core: an empty optional
// becomes null, the typed null placeholder becomes the core's, an error value becomes an error
// (so fulfilling with it rejects), arrays are converted element by element (an empty optional
// element becoming the null placeholder), and anything else goes in a box. Back out: the same
// rules reversed; a value of the wrong kind gives the empty optional where the type is
// optional, and no value otherwise.
#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "beacon-core/PRMValue.h"
#include "beacon-core/PromiseError.h"
#include "platform/foundation/Exception.h"

namespace pex {

template <typename Value>
class Promise;

// The unit value that a Promise<void> carries: a non-null box in the core.
struct PromiseVoid {
    bool operator==(const PromiseVoid&) const = default;
};

// The null placeholder as a typed value.
struct PromiseNullPlaceholder {
    bool operator==(const PromiseNullPlaceholder&) const = default;
};

// An outcome that typed work may return instead of throwing: a value or an error.
template <typename Value>
class PromiseResult {
  public:
    PromiseResult(Value value) : value_(std::move(value)) {}
    PromiseResult(ErrorRef error) : error_(std::move(error)) {}
    PromiseResult(PromiseError error) : error_(error.platformError()) {}
    bool isError() const { return error_ != nullptr; }
    const ErrorRef& error() const { return error_; }
    const std::optional<Value>& value() const { return value_; }

  private:
    std::optional<Value> value_;
    ErrorRef error_;
};

namespace promise_detail {

template <typename T>
struct Stored {
    using type = T;
};
template <>
struct Stored<void> {
    using type = PromiseVoid;
};

template <typename T>
struct IsOptional : std::false_type {};
template <typename U>
struct IsOptional<std::optional<U>> : std::true_type {};

template <typename T>
struct IsVector : std::false_type {};
template <typename U>
struct IsVector<std::vector<U>> : std::true_type {};

template <typename T>
struct IsPromise : std::false_type {};
template <typename U>
struct IsPromise<Promise<U>> : std::true_type {
    using valueType = U;
};

template <typename T>
struct IsResult : std::false_type {};
template <typename U>
struct IsResult<PromiseResult<U>> : std::true_type {
    using valueType = U;
};

// The value type of the promise a typed callable's result makes.
template <typename Returned>
struct ResultValue {
    using type = Returned;
};
template <typename U>
struct ResultValue<Promise<U>> {
    using type = U;
};
template <typename U>
struct ResultValue<PromiseResult<U>> {
    using type = U;
};

// The type's name without namespaces, for descriptions ("int", "basic_string<...>").
template <typename T>
std::string typeName() {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(typeid(T).name(), nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && readable ? readable.get() : typeid(T).name();
    if (std::is_void_v<T> || std::is_same_v<T, PromiseVoid>) return "void";
    const auto templateStart = name.find('<');
    const auto lastScope = name.rfind("::", templateStart);
    return lastScope == std::string::npos ? name : name.substr(lastScope + 2);
}

}  // namespace promise_detail

template <typename T>
using PromiseStoredT = typename promise_detail::Stored<T>::type;

template <typename T>
PRMValue objectFromValue(const T& value) {
    using namespace promise_detail;
    if constexpr (IsOptional<T>::value) {
        return value ? objectFromValue(*value) : PRMValue();
    } else if constexpr (std::is_same_v<T, PromiseNullPlaceholder>) {
        return PRMValue::nullPlaceholder();
    } else if constexpr (std::is_same_v<T, ErrorRef> || std::is_same_v<T, PRMPromiseRef>) {
        return PRMValue(value);
    } else if constexpr (IsVector<T>::value) {
        PRMValue::Array items;
        items.reserve(value.size());
        for (const auto& element : value) {
            // A cast, not the element itself: elements of vector<bool> are proxies.
            PRMValue object = objectFromValue(static_cast<typename T::value_type>(element));
            items.push_back(object.isNull() ? PRMValue::nullPlaceholder() : std::move(object));
        }
        return PRMValue(std::move(items));
    } else {
        return PRMValue::box(value);
    }
}

// `object` as a T; with `fallback`, a null or mismatched object gives the empty optional when
// T is optional (else: no value).
template <typename T>
std::optional<T> valueFromObject(const PRMValue& object, bool fallback = true) {
    using namespace promise_detail;
    if constexpr (IsOptional<T>::value) {
        using Inner = typename T::value_type;
        // An empty T is built in place: copying one trips a false "maybe uninitialized" warning.
        const auto empty = [] { return std::optional<T>(std::in_place); };
        if (object.isNull() || (fallback && object.isNullPlaceholder())) return empty();
        if (auto inner = valueFromObject<Inner>(object, fallback))
            return std::optional<T>(std::in_place, std::move(*inner));
        if (fallback) return empty();
        return std::nullopt;
    } else if constexpr (std::is_same_v<T, PromiseNullPlaceholder>) {
        if (object.isNullPlaceholder() || (fallback && object.isNull()))
            return PromiseNullPlaceholder{};
        return std::nullopt;
    } else if constexpr (std::is_same_v<T, ErrorRef>) {
        if (object.isError()) return object.error();
        return std::nullopt;
    } else if constexpr (std::is_same_v<T, PRMPromiseRef>) {
        if (object.isPromise()) return object.promise();
        return std::nullopt;
    } else if constexpr (IsVector<T>::value) {
        if (!object.isArray()) return std::nullopt;
        T values;
        values.reserve(object.array().size());
        for (const PRMValue& element : object.array()) {
            // Elements take the lenient reading: a null placeholder is an empty optional.
            auto value = valueFromObject<typename T::value_type>(element);
            if (!value) return std::nullopt;
            values.push_back(std::move(*value));
        }
        return values;
    } else if constexpr (std::is_arithmetic_v<T>) {
        // Numbers convert between their kinds, as number objects do.
        if (const auto* exact = object.as<T>()) return *exact;
        if (const auto* number = object.as<std::int64_t>()) return static_cast<T>(*number);
        if (const auto* number = object.as<int>()) return static_cast<T>(*number);
        if (const auto* number = object.as<double>()) return static_cast<T>(*number);
        if (const auto* flag = object.as<bool>()) return static_cast<T>(*flag);
        return std::nullopt;
    } else {
        if (const auto* exact = object.as<T>()) return *exact;
        return std::nullopt;
    }
}

// A value that must convert: one that does not is a programming error.
template <typename T>
T requireValue(const PRMValue& object) {
    auto value = valueFromObject<T>(object);
    if (!value) {
        raiseAssertionFailure(
            "promise value " + object.description() + " is not a " + promise_detail::typeName<T>(),
            __func__, __FILE__, __LINE__);
    }
    return std::move(*value);
}

// Errors made of C++ exceptions other than ThrownError: code 0, the exception's text.
inline constexpr const char* kPromiseExceptionDomain = "com.beacon.Promises.Exception";

// The error an exception thrown by typed work rejects with. Work runs on a queue, where an
// exception passed on would end the process, so the SDK's own Exception rejects too (with its
// name and reason as the description).
inline ErrorRef errorOfException(std::exception_ptr thrown) {
    try {
        std::rethrow_exception(thrown);
    } catch (const ThrownError& error) {
        return error.error() ? error.error() : Error::make(kPromiseExceptionDomain, 0);
    } catch (const PromiseError& error) {
        return error.platformError();
    } catch (const std::exception& other) {
        return Error::make(kPromiseExceptionDomain, 0, {{Error::kDescriptionKey, other.what()}});
    } catch (...) {
        return Error::make(kPromiseExceptionDomain, 0,
                           {{Error::kDescriptionKey, "unknown exception"}});
    }
}

// Runs typed work and turns what it gives into the core's terms: a promise is followed, an
// error value or an error outcome rejects, a thrown error rejects, any other value fulfils.
template <typename Call>
PRMValue outcomeOf(Call&& call) {
    using namespace promise_detail;
    using Returned = std::decay_t<decltype(call())>;
    try {
        if constexpr (std::is_void_v<Returned>) {
            call();
            return PRMValue::box(PromiseVoid{});
        } else if constexpr (IsPromise<Returned>::value) {
            return PRMValue(call().objCPromise());
        } else if constexpr (IsResult<Returned>::value) {
            Returned result = call();
            if (result.isError()) return PRMValue(result.error());
            return objectFromValue(*result.value());
        } else {
            return objectFromValue(call());
        }
    } catch (...) {
        return PRMValue(errorOfException(std::current_exception()));
    }
}

// Calls `work` with `value`, or with nothing when it takes nothing (as for Promise<void>).
template <typename Work, typename Stored>
decltype(auto) invokeWithValue(Work& work, const Stored& value) {
    if constexpr (std::is_invocable_v<Work&, const Stored&>) {
        return work(value);
    } else {
        return work();
    }
}

template <typename Work, typename Stored>
using ReturnedBy =
    std::decay_t<decltype(invokeWithValue(std::declval<Work&>(), std::declval<const Stored&>()))>;

}  // namespace pex
