#include "service/FileSizeText.h"

#include <cstdio>

namespace pex {

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

}  // namespace pex
