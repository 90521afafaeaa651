#include "crashreporter/BCNStackFrame.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace pex {

BCNStackFrame BCNStackFrame::stackFrameWithAddress(std::uint64_t address) {
    BCNStackFrame frame;
    frame.address = address;
    return frame;
}

BCNStackFrame BCNStackFrame::stackFrameWithSymbol(std::string symbol) {
    BCNStackFrame frame;
    frame.rawSymbol = symbol;
    frame.symbol = std::move(symbol);
    return frame;
}

BCNStackFrame BCNStackFrame::stackFrameWithSymbol(std::string symbol, std::string file,
                                                  std::uint32_t line) {
    BCNStackFrame frame;
    frame.symbol = std::move(symbol);
    frame.fileName = std::move(file);
    frame.lineNumber = line;
    frame.isSymbolicated = true;
    return frame;
}

std::string BCNStackFrame::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "0x%" PRIx64, this->address);
    const std::string line = std::to_string(lineNumber);
    if (isSymbolicated) return "{" + fileName + " - " + symbol + ":" + line + "}";
    if (!fileName.empty()) {
        return "{[" + std::string(address) + "] " + fileName + " - " + symbol + ":" + line + "}";
    }
    return "{[" + std::string(address) + " + " + line + "] " + symbol + "}";
}

}  // namespace pex
