#include "platform/foundation/UserDefaults.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/DefaultsFileFormat.h"
#include "platform/foundation/XdgFolders.h"

namespace pex {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path defaultRoot() {
    return XdgFolders::configHome() / "Pexmora";
}

void logLine(const std::string& line) {
    std::fprintf(stderr, "UserDefaults: %s\n", line.c_str());
}

struct Registry {
    std::mutex mutex;
    std::optional<fs::path> root;  // set by tests; the XDG folder otherwise
    std::map<std::string, std::shared_ptr<UserDefaults>> suites;

    fs::path currentRoot() const { return root ? *root : defaultRoot(); }
};

Registry& registry() {
    static Registry* instance = new Registry;  // lives past static destruction
    return *instance;
}

bool isValidSuiteName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

struct UserDefaults::State {
    mutable std::mutex mutex;
    fs::path file;
    json values = json::object();
    bool loaded = false;
    // Set when a bad file could not be moved aside: the store then keeps its values in memory
    // only, so the bad file is never replaced.
    bool writesBlocked = false;
    std::optional<UnreadableFile> unreadable;

    void loadLocked() {
        if (loaded) return;
        loaded = true;
        values = json::object();
        writesBlocked = false;

        std::error_code error;
        auto text = AtomicFile::read(file, error);
        if (!text && error == std::errc::no_such_file_or_directory) return;
        std::string problem;
        if (text) {
            if (text->empty()) return;  // nothing to lose
            if (auto decoded = DefaultsFileFormat::decode(*text, problem)) {
                values = std::move(*decoded);
                return;
            }
        } else {
            problem = error.message();
        }
        keepBadFile(problem);
    }

    void keepBadFile(const std::string& problem) {
        std::error_code error;
        auto backup = AtomicFile::moveAside(file, ".corrupt-" + AtomicFile::timestamp(), error);
        unreadable = UnreadableFile{problem, backup};
        if (backup) {
            logLine(file.string() + " could not be read (" + problem + "); kept as " +
                    backup->string() + ", starting empty");
            return;
        }
        writesBlocked = true;
        logLine(file.string() + " could not be read (" + problem + ") nor moved aside (" +
                error.message() + "); starting empty, changes stay in memory");
    }

    void persistLocked() {
        if (writesBlocked) return;
        if (auto error = AtomicFile::write(file, DefaultsFileFormat::encode(values)))
            logLine("could not write " + file.string() + ": " + error.message());
    }

    const json* findLocked(const std::string& key) {
        loadLocked();
        auto found = values.find(key);
        return found == values.end() ? nullptr : &*found;
    }
};

UserDefaults::UserDefaults(fs::path file) : state_(std::make_unique<State>()) {
    state_->file = std::move(file);
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard() {
    // Never destroyed: references to it are kept for the life of the process.
    static UserDefaults* instance = [] {
        Registry& shared = registry();
        std::lock_guard lock(shared.mutex);
        return new UserDefaults(shared.currentRoot() / "standard.json");
    }();
    return *instance;
}

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name) {
    if (!isValidSuiteName(name)) throw std::invalid_argument("invalid defaults suite name");
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    auto& slot = shared.suites[name];
    if (!slot)
        slot = std::make_shared<UserDefaults>(shared.currentRoot() / "suites" / (name + ".json"));
    return slot;
}

std::optional<UserDefaults::UnreadableFile> UserDefaults::unreadableFile() const {
    std::lock_guard lock(state_->mutex);
    state_->loadLocked();
    return state_->unreadable;
}

void UserDefaults::setRootDirectory(fs::path root) {
    UserDefaults& standardStore = standard();
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    shared.root = std::move(root);
    shared.suites.clear();
    standardStore.retarget(shared.currentRoot() / "standard.json");
}

fs::path UserDefaults::rootDirectory() {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    return shared.currentRoot();
}

void UserDefaults::retarget(fs::path file) {
    std::lock_guard lock(state_->mutex);
    state_->file = std::move(file);
    state_->loaded = false;
    state_->values = json::object();
    state_->unreadable.reset();
}

std::optional<json> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value) return std::nullopt;
    return *value;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

bool UserDefaults::boolean(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value) return false;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    return false;
}

std::optional<std::int64_t> UserDefaults::integer(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
    if (value->is_number_integer() && !value->is_number_unsigned())
        return value->get<std::int64_t>();
    if (value->is_number_unsigned()) {
        auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    if (value->is_number_float()) {
        double number = std::trunc(value->get<double>());
        // 2^63 is exactly representable; anything at or past it does not fit.
        if (!std::isfinite(number) || number < -9223372036854775808.0 ||
            number >= 9223372036854775808.0)
            return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    return std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    if (value->is_number()) return value->get<double>();
    return std::nullopt;
}

std::optional<Bytes> UserDefaults::data(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    const json* value = state_->findLocked(key);
    if (!value || !value->is_binary()) return std::nullopt;
    const auto& binary = value->get_binary();
    return Bytes(binary.begin(), binary.end());
}

void UserDefaults::set(const std::string& key, json value) {
    if (value.is_null()) return remove(key);
    std::lock_guard lock(state_->mutex);
    state_->loadLocked();
    state_->values[key] = std::move(value);
    state_->persistLocked();
}

void UserDefaults::setData(const std::string& key, const Bytes& bytes) {
    set(key, dataValue(bytes));
}

void UserDefaults::remove(const std::string& key) {
    std::lock_guard lock(state_->mutex);
    state_->loadLocked();
    if (state_->values.erase(key) == 0) return;
    state_->persistLocked();
}

bool UserDefaults::contains(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    return state_->findLocked(key) != nullptr;
}

void UserDefaults::reload() {
    std::lock_guard lock(state_->mutex);
    state_->loaded = false;
    state_->loadLocked();
}

fs::path UserDefaults::file() const {
    std::lock_guard lock(state_->mutex);
    return state_->file;
}

json UserDefaults::dataValue(const Bytes& bytes) {
    return json::binary(bytes);
}

}  // namespace pex
