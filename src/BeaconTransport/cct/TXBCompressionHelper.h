#pragma once
// gzip of upload bodies (the transport's own small helper over zlib).
#include <optional>
#include <string>
#include <string_view>

namespace pex {

class TXBCompressionHelper {
  public:
    // A gzip stream of `data`; none for empty data, data of 2^32 bytes or more, or any zlib
    // failure (the caller then sends the data as it is). Never stops the process.
    static std::optional<std::string> gzippedData(std::string_view data);
    // At least two bytes, the first two 0x1F 0x8B.
    static bool isGzipped(std::string_view data);
};

}  // namespace pex
