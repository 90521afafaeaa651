#pragma once
// One frame of a stack the application describes itself (for example from another language
// runtime), for an exception it records through the crash SDK.
#include <cstdint>
#include <string>

namespace pex {

class BCNStackFrame {
  public:
    static BCNStackFrame stackFrame() { return BCNStackFrame(); }
    static BCNStackFrame stackFrameWithAddress(std::uint64_t address);
    // Not symbolicated: the symbol is the raw symbol as well.
    static BCNStackFrame stackFrameWithSymbol(std::string symbol);
    // Symbolicated: symbol, file and line known.
    static BCNStackFrame stackFrameWithSymbol(std::string symbol, std::string file,
                                              std::uint32_t line);

    // "{symbol - file:line}" when symbolicated, else "{[0xaddress] file - symbol:line}" with a
    // file name, else "{[0xaddress + line] symbol}".
    std::string description() const;

    bool isSymbolicated = false;
    std::uint32_t lineNumber = 0;
    std::string symbol;
    std::string rawSymbol;
    std::string library;
    std::string fileName;
    std::uint64_t offset = 0;
    std::uint64_t address = 0;
};

}  // namespace pex
