#include "platform/foundation/Bundle.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>

#include "platform/foundation/AtomicFile.h"

namespace pex {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

// Deeper nesting than any real Info.plist has; stops a hostile file from exhausting the stack.
constexpr int kMaxDepth = 64;

json toJson(plist_t node, int depth) {
    if (depth > kMaxDepth) return nullptr;
    switch (plist_get_node_type(node)) {
        case PLIST_DICT: {
            json out = json::object();
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iter, &key, &item);
                if (!item) {
                    std::free(key);
                    break;
                }
                if (key) out[key] = toJson(item, depth + 1);
                std::free(key);
            }
            std::free(iter);
            return out;
        }
        case PLIST_ARRAY: {
            json out = json::array();
            for (uint32_t i = 0, n = plist_array_get_size(node); i < n; ++i)
                out.push_back(toJson(plist_array_get_item(node, i), depth + 1));
            return out;
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return text ? std::string(text, length) : std::string();
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value != 0;
        }
        case PLIST_UINT: {
            // Integers are kept as 64-bit patterns; negative ones come back wrapped.
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
                return static_cast<int64_t>(value);
            return value;
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return value;
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            json::binary_t out;
            if (bytes) out.assign(bytes, bytes + length);
            return json::binary(std::move(out));
        }
        case PLIST_DATE: {
            int32_t seconds = 0, microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return seconds + microseconds / 1e6;
        }
        case PLIST_UID: {
            uint64_t value = 0;
            plist_get_uid_val(node, &value);
            return value;
        }
        default:
            return nullptr;
    }
}

}  // namespace

namespace {

struct MainBundle {
    std::mutex mutex;
    std::optional<Bundle> bundle;
};

MainBundle& mainBundle() {
    static auto* shared = new MainBundle;  // read from any thread, also while exiting
    return *shared;
}

Bundle readBundle(const fs::path& folder) {
    return Bundle(Bundle::fromFile(folder / "Info.plist").info(), folder);
}

}  // namespace

Bundle Bundle::main() {
    MainBundle& shared = mainBundle();
    std::lock_guard lock(shared.mutex);
    if (!shared.bundle) shared.bundle = readBundle(executableDirectory());
    return *shared.bundle;
}

void Bundle::setMainForTesting(std::optional<fs::path> folder) {
    MainBundle& shared = mainBundle();
    std::lock_guard lock(shared.mutex);
    if (folder) {
        shared.bundle = readBundle(*folder);
    } else {
        shared.bundle.reset();  // read again from the executable's folder on next use
    }
}

std::optional<fs::path> Bundle::pathForResource(const std::string& name,
                                                const std::string& type) const {
    const std::string file = type.empty() ? name : name + "." + type;
    if (resources_.empty() || name.empty() || file == "." || file == ".." ||
        file.find('/') != std::string::npos || file.find('\0') != std::string::npos)
        return std::nullopt;
    const fs::path path = resources_ / file;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return std::nullopt;
    return path;
}

Bundle Bundle::fromFile(const fs::path& plist) {
    std::error_code error;
    auto content = AtomicFile::read(plist, error);
    if (!content || content->empty() || content->size() > std::numeric_limits<uint32_t>::max())
        return Bundle();
    plist_t root = nullptr;
    plist_from_memory(content->data(), static_cast<uint32_t>(content->size()), &root);
    PlistHandle owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        std::fprintf(stderr, "Bundle: %s is not a property-list dictionary\n", plist.c_str());
        return Bundle();
    }
    return Bundle(toJson(root, 0));
}

fs::path Bundle::executableDirectory() {
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) return fs::current_path(error);
    return executable.parent_path();
}

std::optional<std::string> Bundle::string(const std::string& key) const {
    auto found = info_.find(key);
    if (found == info_.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

std::optional<json> Bundle::value(const std::string& key) const {
    auto found = info_.find(key);
    if (found == info_.end()) return std::nullopt;
    return *found;
}

std::string Bundle::shortVersion() const {
    return string("CFBundleShortVersionString").value_or("");
}
std::string Bundle::buildVersion() const {
    return string("CFBundleVersion").value_or("");
}
std::string Bundle::bundleIdentifier() const {
    return string("CFBundleIdentifier").value_or("");
}

std::string Bundle::displayName() const {
    if (auto name = string("CFBundleDisplayName")) return *name;
    return string("CFBundleName").value_or("");
}

}  // namespace pex
