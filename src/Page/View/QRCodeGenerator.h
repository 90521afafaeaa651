#pragma once
// Turns a text into a QR code picture of at most a given side: error correction level Q, a
// quiet zone of four modules around the code, and every module an exact square block of whole
// pixels (drawn without smoothing), so the code scans from a screen. One pixel per point.
#include <QImage>
#include <optional>
#include <string>

namespace pex {

class QRCodeGenerator {
  public:
    static constexpr int kQuietZoneModules = 4;

    QRCodeGenerator() = delete;

    // None when the text is empty or not pure ASCII, when it does not fit in a QR code, or when
    // the code with its quiet zone needs more than `side` pixels at one pixel per module.
    static std::optional<QImage> generate(const std::string& text, int side);
};

}  // namespace pex
