#pragma once
// The readable name of a thrown type, written where nothing may allocate: the terminate path of
// an uncaught exception, possibly under memory exhaustion. Covers what is thrown in practice
// (fundamental types, pointers, const, named classes in namespaces); any other mangled name is
// kept as it is.
#include <cstddef>

namespace pex {

// Writes the name for the mangled `mangled` into `out` (always terminated, cut to `size`).
// False when the name was not understood and the mangled text was copied instead.
bool CRSExceptionTypeNameDemangle(const char* mangled, char* out, std::size_t size);

}  // namespace pex
