#pragma once
// Turns C++ mangled names (and block-invoke names built on them) into readable ones.
#include <optional>
#include <string>

#include "crashreporter/reports/CRSThreadArray.h"

namespace pex {

class CRSDemangleOperation {
  public:
    // Nothing for names that are not mangled C++ or that the demangler refuses.
    static std::optional<std::string> demangleSymbol(const char* symbol);
    static std::optional<std::string> demangleCppSymbol(const char* symbol);
    static std::optional<std::string> demangleBlockInvokeCppSymbol(const char* symbol);

    // Sets each frame's symbol to its demangled raw symbol, where there is one.
    static void run(CRSThreadArray& threads);
};

}  // namespace pex
