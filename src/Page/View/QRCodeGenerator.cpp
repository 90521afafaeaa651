#include "Page/View/QRCodeGenerator.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace pex {

namespace {

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<QImage> QRCodeGenerator::generate(const std::string& text, int side) {
    if (text.empty() || !isAscii(text)) return std::nullopt;
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeData(static_cast<int>(text.size()),
                          reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_Q),
        QRcode_free);
    if (!code || code->width <= 0) return std::nullopt;

    const int modules = code->width + 2 * kQuietZoneModules;
    const int scale = side / modules;  // whole pixels per module
    if (scale < 1) return std::nullopt;
    const int pixels = modules * scale;

    QImage image(pixels, pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb dark = qRgb(0, 0, 0);
    for (int row = 0; row < code->width; ++row) {
        for (int column = 0; column < code->width; ++column) {
            if (!(code->data[row * code->width + column] & 1)) continue;
            const int top = (row + kQuietZoneModules) * scale;
            const int left = (column + kQuietZoneModules) * scale;
            for (int y = top; y < top + scale; ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                std::fill(line + left, line + left + scale, dark);
            }
        }
    }
    return image;
}

}  // namespace pex
