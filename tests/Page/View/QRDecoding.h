#pragma once
// Reads a QR code picture back to its text with the zbar command-line decoder (zbar-tools), the
// way a phone would read it from the screen.
#include <QImage>
#include <cstdio>
#include <optional>
#include <string>

#include "support/TestSupport.h"

namespace pex::test {

// The text of the one QR code in `image`; none when zbarimg finds none.
inline std::optional<std::string> decodeQRCode(const QImage& image) {
    TempDir dir;
    const std::string file = (dir.path() / "code.png").string();
    if (!image.save(QString::fromStdString(file), "PNG")) return std::nullopt;
    const std::string command = "zbarimg --quiet --raw -Sdisable -Sqrcode.enable '" + file + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string text;
    char buffer[512];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
        text.append(buffer, read);
    }
    if (::pclose(pipe) != 0) return std::nullopt;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace pex::test
