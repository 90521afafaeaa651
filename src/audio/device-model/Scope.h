#pragma once
// The part of a device a property belongs to, and its property scope code.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

enum class Scope { global, input, output, playthrough, master, wildcard, main };

// 'glob', 'inpt', 'outp', 'ptru', 0 for master and main, '****' for wildcard.
std::uint32_t propertyScope(Scope scope);
// 'glob', 'inpt', 'outp', 'ptru' and 0 (master) map back; every other value is wildcard.
Scope scopeFromPropertyScope(std::uint32_t propertyScope);

// The case's name ("output"), as notifications carry it in their user info.
std::string scopeName(Scope scope);
std::optional<Scope> scopeNamed(const std::string& name);

}  // namespace pex
