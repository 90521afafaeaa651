#include "crashreporter/reports/CRSDemangleOperation.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace pex {

std::optional<std::string> CRSDemangleOperation::demangleSymbol(const char* symbol) {
    if (symbol == nullptr || symbol[0] != '_') return std::nullopt;
    if (std::strncmp(symbol, "_Z", 2) == 0) return demangleCppSymbol(symbol);
    if (std::strncmp(symbol, "__Z", 3) == 0) return demangleBlockInvokeCppSymbol(symbol);
    return std::nullopt;
}

std::optional<std::string> CRSDemangleOperation::demangleCppSymbol(const char* symbol) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
    if (status != 0 || text == nullptr) return std::nullopt;
    return std::string(text.get());
}

std::optional<std::string> CRSDemangleOperation::demangleBlockInvokeCppSymbol(const char* symbol) {
    const std::string name(symbol);
    const std::size_t tail = name.rfind("_block_invoke");
    if (tail == std::string::npos || tail < 5) return std::nullopt;
    const std::string inner = name.substr(1, tail - 1);
    const auto demangled = demangleSymbol(inner.c_str());
    if (!demangled) return std::nullopt;
    return *demangled + name.substr(tail);
}

void CRSDemangleOperation::run(CRSThreadArray& threads) {
    for (auto& thread : threads) {
        for (auto& frame : thread) {
            if (const auto demangled = demangleSymbol(frame.rawSymbol.c_str())) {
                frame.symbol = *demangled;
            }
        }
    }
}

}  // namespace pex
