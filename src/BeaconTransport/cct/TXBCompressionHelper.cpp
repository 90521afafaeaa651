#include "BeaconTransport/cct/TXBCompressionHelper.h"

#include <zlib.h>

#include <cstdint>

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

std::optional<std::string> TXBCompressionHelper::gzippedData(std::string_view data) {
    if (data.empty() || data.size() >= (std::uint64_t{1} << 32)) return std::nullopt;
    z_stream stream{};
    constexpr int kGzipWindowBits = 15 + 16;  // a 15-bit window with gzip header and trailer
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    std::string output;
    output.reserve(data.size() / 4);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    char window[1024];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(window);
        stream.avail_out = sizeof window;
        result = deflate(&stream, Z_FINISH);
        output.append(window, sizeof window - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_out == 0) result = Z_OK;  // needs more room
    }
    bool complete = result == Z_STREAM_END && stream.avail_in == 0;
    if (result == Z_STREAM_END && stream.avail_in != 0)
        TXPConsoleLog(TXPMessageCodeUploadFailure, TXPLogLevelError,
                      "Should have finished deflating without using all input, " +
                          std::to_string(stream.avail_in) + " bytes left");
    deflateEnd(&stream);
    if (!complete) return std::nullopt;
    return output;
}

bool TXBCompressionHelper::isGzipped(std::string_view data) {
    return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1F &&
           static_cast<unsigned char>(data[1]) == 0x8B;
}

}  // namespace pex
