#include "beacon-core/UTLGzip.h"

#include <zlib.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/foundation/Exception.h"

namespace pex {

namespace {

constexpr std::size_t kChunkSize = 1024;
constexpr int kGzipWindowBits = 15 + 16;        // deflate with a gzip wrapper
constexpr int kAutoDetectWindowBits = 15 + 32;  // inflate gzip or zlib, told apart by the header
constexpr std::uint64_t kMaxZlibCount = std::numeric_limits<uInt>::max();

void report(ErrorRef* error, std::int64_t code, nlohmann::json userInfo = nullptr) {
    if (error) *error = Error::make(UTLGzip::kErrorDomain, code, std::move(userInfo));
}

nlohmann::json zlibInfo(int status, const char* message = nullptr) {
    nlohmann::json info{{UTLGzip::kZlibErrorKey, status}};
    if (message) info[Error::kDescriptionKey] = message;
    return info;
}

}  // namespace

std::optional<UTLData> UTLGzip::dataByGzippingData(std::span<const std::uint8_t> data,
                                                   ErrorRef* error) {
    if (error) *error = nullptr;
    if (data.empty()) return std::nullopt;
    if (data.size() > kMaxZlibCount) {
        report(error, kGreaterThan32BitsToCompress);
        return std::nullopt;
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data.data());  // zlib never writes its input
    stream.avail_in = static_cast<uInt>(data.size());
    int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8,
                              Z_DEFAULT_STRATEGY);
    if (status != Z_OK) {
        report(error, kInternal, zlibInfo(status));
        return std::nullopt;
    }
    UTLData output;
    output.reserve(data.size() / 4);
    std::uint8_t chunk[kChunkSize];
    do {
        stream.next_out = chunk;
        stream.avail_out = kChunkSize;
        status = deflate(&stream, Z_FINISH);
        if (status != Z_OK && status != Z_STREAM_END) {
            deflateEnd(&stream);
            report(error, kInternal, zlibInfo(status, stream.msg));
            return std::nullopt;
        }
        output.insert(output.end(), chunk, chunk + (kChunkSize - stream.avail_out));
    } while (status == Z_OK);
    if (stream.avail_in != 0) {
        deflateEnd(&stream);
        raiseAssertionFailure("Should have finished deflating without using all input, " +
                                  std::to_string(stream.avail_in) + " bytes left",
                              __func__, __FILE__, __LINE__);
    }
    deflateEnd(&stream);
    return output;
}

std::optional<UTLData> UTLGzip::dataByInflatingGzippedData(std::span<const std::uint8_t> data,
                                                           ErrorRef* error,
                                                           std::size_t maxInflatedBytes) {
    if (error) *error = nullptr;
    if (data.empty()) return std::nullopt;
    // zlib counts input in 32 bits: larger input would be read only in part.
    if (data.size() > kMaxZlibCount) {
        report(error, kGreaterThan32BitsToCompress);
        return std::nullopt;
    }
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int status = inflateInit2(&stream, kAutoDetectWindowBits);
    if (status != Z_OK) {
        report(error, kInternal, zlibInfo(status));
        return std::nullopt;
    }
    UTLData output;
    output.reserve(std::min(data.size() * 4, maxInflatedBytes));
    std::uint8_t chunk[kChunkSize];
    do {
        stream.next_out = chunk;
        stream.avail_out = kChunkSize;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            // Truncated input ends here too (a buffer error: no progress possible).
            report(error, kInternal, zlibInfo(status, stream.msg));
            inflateEnd(&stream);
            return std::nullopt;
        }
        const std::size_t produced = kChunkSize - stream.avail_out;
        if (output.size() + produced > maxInflatedBytes) {
            inflateEnd(&stream);
            report(error, kGreaterThan32BitsToCompress,
                   {{Error::kDescriptionKey, "The inflated data is larger than " +
                                                 std::to_string(maxInflatedBytes) + " bytes."}});
            return std::nullopt;
        }
        output.insert(output.end(), chunk, chunk + produced);
    } while (status != Z_STREAM_END);
    const uInt remaining = stream.avail_in;
    inflateEnd(&stream);
    if (remaining != 0) {
        report(error, kDataRemaining, {{kRemainingBytesKey, remaining}});
        return std::nullopt;
    }
    return output;
}

}  // namespace pex
