// A QR code as a greyscale PNG, for the customer-service card.
#include <qrencode.h>
#include <zlib.h>

#include <cstdint>
#include <memory>

#include "standin-service/StandinRoutes.h"

namespace pex::standin {

namespace {

constexpr int kScale = 6;   // pixels per module
constexpr int kBorder = 4;  // quiet zone, in modules

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    out += typed;
    const auto crc =
        ::crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    appendBigEndian(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string qrCodePng(const std::string& text) {
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code) return {};
    const int modules = code->width + 2 * kBorder;
    const int side = modules * kScale;

    std::string pixels;  // each row: filter byte 0, then one grey byte per pixel
    pixels.reserve(static_cast<std::size_t>(side) * (side + 1));
    for (int y = 0; y < side; ++y) {
        pixels += '\0';
        const int row = y / kScale - kBorder;
        for (int x = 0; x < side; ++x) {
            const int column = x / kScale - kBorder;
            const bool inside =
                row >= 0 && row < code->width && column >= 0 && column < code->width;
            const bool dark = inside && (code->data[row * code->width + column] & 1);
            pixels += static_cast<char>(dark ? 0x00 : 0xFF);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(pixels.size()));
    std::string packed(packedSize, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                 reinterpret_cast<const Bytef*>(pixels.data()),
                 static_cast<uLong>(pixels.size())) != Z_OK) {
        return {};
    }
    packed.resize(packedSize);

    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(side));
    appendBigEndian(header, static_cast<std::uint32_t>(side));
    header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit greyscale, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace pex::standin
