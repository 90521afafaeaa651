#include "crashreporter/runtime/CRSFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "crashreporter/runtime/CRSHex.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUTF8.h"
#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

bool isEmpty(const nlohmann::json& value) {
    if (value.is_string()) return value.get_ref<const std::string&>().empty();
    return value.is_null() || ((value.is_object() || value.is_array()) && value.empty());
}

// The whole regular file at `path`; nothing when it is missing, not a regular file or a read
// fails.
std::optional<std::string> readWholeFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status;
    std::optional<std::string> bytes;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        bytes.emplace();
        char chunk[65536];
        for (;;) {
            const ssize_t got = read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) bytes.reset();
            if (got <= 0) break;
            bytes->append(chunk, static_cast<std::size_t>(got));
        }
    }
    close(fd);
    return bytes;
}

}  // namespace

std::vector<nlohmann::json> CRSFileParseSections(std::string_view bytes,
                                                 const CRSFileSectionTransform& transform) {
    std::vector<nlohmann::json> sections;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);

        nlohmann::json section = nlohmann::json::parse(line, nullptr, false);
        if (!section.is_object()) continue;  // cut off, not JSON, or not a section
        if (!transform) {
            sections.push_back(std::move(section));
            continue;
        }
        std::optional<nlohmann::json> kept = transform(section);
        if (kept && !isEmpty(*kept)) sections.push_back(std::move(*kept));
    }
    return sections;
}

std::optional<std::vector<nlohmann::json>> CRSFileReadSections(
    const char* path, bool deleteOnFailure, const CRSFileSectionTransform& transform) {
    if (path == nullptr) {
        CRSSDKLogError("Error: input path is invalid\n");
        return std::nullopt;
    }
    const std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) {
        if (deleteOnFailure) CRSUnlinkIfExists(path);
        CRSSDKLogWarn("Unable to read file %s\n", path);
        return std::nullopt;
    }
    return CRSFileParseSections(*bytes, transform);
}

std::string CRSFileHexEncodeString(const char* text) {
    if (text == nullptr) return {};
    return CRSNSDataToNSString(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)));
}

std::optional<std::string> CRSFileHexDecodeString(const char* hex) {
    if (hex == nullptr) return std::nullopt;
    std::string bytes;
    for (const char* pair = hex; pair[0] != '\0' && pair[1] != '\0'; pair += 2) {
        const std::uint8_t high = CRSHexCharToValue(pair[0]);
        const std::uint8_t low = CRSHexCharToValue(pair[1]);
        if (high > 15 || low > 15) break;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    if (!CRSUTF8IsValid(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace pex
