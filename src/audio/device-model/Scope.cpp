#include "audio/device-model/Scope.h"

#include <array>
#include <utility>

#include "platform/coreaudio/AudioTypes.h"

namespace pex {

namespace {

constexpr std::array<std::pair<Scope, const char*>, 7> kNames{{
    {Scope::global, "global"},
    {Scope::input, "input"},
    {Scope::output, "output"},
    {Scope::playthrough, "playthrough"},
    {Scope::master, "master"},
    {Scope::wildcard, "wildcard"},
    {Scope::main, "main"},
}};

}  // namespace

std::uint32_t propertyScope(Scope scope) {
    namespace s = coreaudio::scope;
    switch (scope) {
        case Scope::global:
            return s::global;
        case Scope::input:
            return s::input;
        case Scope::output:
            return s::output;
        case Scope::playthrough:
            return s::playThrough;
        case Scope::master:
        case Scope::main:
            return 0;
        case Scope::wildcard:
            return s::wildcard;
    }
    return s::wildcard;
}

Scope scopeFromPropertyScope(std::uint32_t value) {
    namespace s = coreaudio::scope;
    if (value == s::global) return Scope::global;
    if (value == s::input) return Scope::input;
    if (value == s::output) return Scope::output;
    if (value == s::playThrough) return Scope::playthrough;
    if (value == 0) return Scope::master;
    return Scope::wildcard;
}

std::string scopeName(Scope scope) {
    for (const auto& [candidate, name] : kNames) {
        if (candidate == scope) return name;
    }
    return "wildcard";
}

std::optional<Scope> scopeNamed(const std::string& name) {
    for (const auto& [scope, candidate] : kNames) {
        if (name == candidate) return scope;
    }
    return std::nullopt;
}

}  // namespace pex
