#pragma once
// A crash report as it is uploaded, read back: the protocol-buffer message that carries the
// report folder's record files whole (field 10 holds the files, each a name and contents), and
// a record file's sections (one JSON object a line).
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex::test {

// Reads protocol-buffer fields off a message, enough to find a crash report's files.
struct WireReader {
    const std::string& in;
    std::size_t at = 0;

    std::uint64_t varint() {
        std::uint64_t value = 0;
        for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
            const auto byte = static_cast<unsigned char>(in[at++]);
            value |= std::uint64_t{byte & 0x7fu} << shift;
            if ((byte & 0x80u) == 0) break;
        }
        return value;
    }
    // Calls `field` with each length-delimited field; varints are skipped. False when the
    // message is malformed.
    bool each(const std::function<void(std::uint32_t, const std::string&)>& field) {
        while (at < in.size()) {
            const std::uint64_t key = varint();
            if ((key & 7) == 0) {
                varint();
                continue;
            }
            if ((key & 7) != 2) return false;
            const std::uint64_t length = varint();
            if (length > in.size() - at) return false;
            field(static_cast<std::uint32_t>(key >> 3), in.substr(at, length));
            at += length;
        }
        return true;
    }
};

struct CrashReportFile {
    std::string name;
    std::string contents;
};

// The record files of a crash report message in the order sent; nullopt when the message or
// one of its files is malformed.
inline std::optional<std::vector<CrashReportFile>> crashReportFiles(const std::string& message) {
    std::vector<CrashReportFile> found;
    bool whole = true;
    WireReader report{message};
    whole = report.each([&](std::uint32_t number, const std::string& payload) {
        if (number != 10) return;
        WireReader files{payload};
        whole = files.each([&](std::uint32_t, const std::string& file) {
            CrashReportFile entry;
            WireReader parts{file};
            whole = parts.each([&](std::uint32_t part, const std::string& bytes) {
                if (part == 1) entry.name = bytes;
                if (part == 2) entry.contents = bytes;
            }) && whole;
            found.push_back(std::move(entry));
        }) && whole;
    }) && whole;
    if (!whole) return std::nullopt;
    return found;
}

// A record file's sections, one JSON object a line; a line that does not parse is left out and
// counted in `unreadable`.
inline std::vector<nlohmann::json> recordSections(const std::string& contents,
                                                  int* unreadable = nullptr) {
    std::vector<nlohmann::json> sections;
    std::istringstream lines(contents);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        auto section = nlohmann::json::parse(line, nullptr, false);
        if (section.is_discarded()) {
            if (unreadable) ++*unreadable;
            continue;
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

// The first section of `contents` that holds `key`, its value; null when none does.
inline nlohmann::json recordSection(const std::string& contents, const std::string& key) {
    for (auto& section : recordSections(contents)) {
        if (section.is_object() && section.contains(key)) return section[key];
    }
    return nullptr;
}

}  // namespace pex::test
