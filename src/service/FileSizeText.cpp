#include "service/FileSizeText.h"

#include <cstdio>

namespace pex {

namespace {

// `bytes` / `unit` with its decimals written out and trailing zeros dropped; integer
// arithmetic keeps it exact.
std::string inUnit(std::uintmax_t bytes, std::uintmax_t unit, const char* name) {
    std::string text = std::to_string(bytes / unit);
    std::uintmax_t rest = bytes % unit;
    if (rest != 0) {
        text += '.';
        for (std::uintmax_t digit = unit / 10; rest != 0; digit /= 10) {
            text += static_cast<char>('0' + rest / digit);
            rest %= digit;
        }
    }
    return text + " " + name;
}

}  // namespace

std::string fileSizeText(std::uintmax_t bytes) {
    char text[32];
    if (bytes < 1000) {
        std::snprintf(text, sizeof text, "%ju 字节", bytes);
    } else if (bytes < 1000 * 1000) {
        std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    }
    return text;
}

std::string exactFileSizeText(std::uintmax_t bytes) {
    if (bytes >= 1000 * 1000 && bytes % 1000 == 0) return inUnit(bytes, 1000 * 1000, "MB");
    if (bytes >= 1000 && bytes % 10 == 0) return inUnit(bytes, 1000, "KB");
    return std::to_string(bytes) + " 字节";
}

}  // namespace pex
