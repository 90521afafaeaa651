#pragma once
// Reads crash record files back on a later launch (ordinary code: it allocates). Each line is
// decoded on its own, so a line cut off by a dying process, or one that is not valid JSON or
// UTF-8, costs only itself.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

// Takes one parsed section line and returns what to keep of it; nothing (or an empty value)
// keeps nothing.
using CRSFileSectionTransform = std::function<std::optional<nlohmann::json>(const nlohmann::json&)>;

// The section lines of the file at `path`, in file order (or the transform's non-empty
// results). Nothing when there is no path or the file cannot be read; such a file is deleted
// when `deleteOnFailure` is set. Lines that are not JSON objects are skipped, never the file.
std::optional<std::vector<nlohmann::json>> CRSFileReadSections(
    const char* path, bool deleteOnFailure, const CRSFileSectionTransform& transform = {});

// The same for the bytes of a record file already in memory.
std::vector<nlohmann::json> CRSFileParseSections(std::string_view bytes,
                                                 const CRSFileSectionTransform& transform = {});

// Two lowercase hex digits per byte of `text`.
std::string CRSFileHexEncodeString(const char* text);
// The bytes of hex text, taken in pairs up to the first pair holding a non-hex character (an
// odd last character is ignored). Nothing when the bytes are not valid UTF-8.
std::optional<std::string> CRSFileHexDecodeString(const char* hex);

}  // namespace pex
