#pragma once
// The per-user settings store: the standard store and named suites, each one JSON file under
// the XDG config folder ($XDG_CONFIG_HOME/Pexmora/ or ~/.config/Pexmora/). Values keep their
// kind (text, Boolean, integer, double, data, array, dictionary): data is a JSON binary value
// in memory and is tagged in the file, so a text never reads back as data or the reverse.
// Writes go to disk atomically and are visible to the next read at once. A file that cannot be
// read is kept beside itself as a backup and the store starts empty; it is never overwritten.
// Every member is safe to call from any thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

using Bytes = std::vector<std::uint8_t>;

class UserDefaults {
  public:
    // The application's store, "standard.json" in the root folder. The instance lives for the
    // whole process; changing the root folder points it at the new file.
    static UserDefaults& standard();
    // A named suite, one instance per name for the process, "suites/<name>.json" in the root
    // folder. The name must be usable as a file name: not empty, no "/" and no NUL, not "." or
    // ".."; other names throw std::invalid_argument.
    static std::shared_ptr<UserDefaults> suite(const std::string& name);

    // Folder that holds the store files; tests point it at a temporary folder. Changing it
    // points the standard store at the new folder and drops the cached suites, so both reload
    // from the new place (suite handles taken before keep their old file).
    static void setRootDirectory(std::filesystem::path root);
    static std::filesystem::path rootDirectory();

    // A store on its own file, independent of the cached ones. The file is read on first use.
    explicit UserDefaults(std::filesystem::path file);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::optional<nlohmann::json> object(const std::string& key) const;
    std::optional<std::string> string(const std::string& key) const;  // absent unless text
    bool boolean(const std::string& key) const;  // false unless Boolean or number (non-zero)
    // Absent unless Boolean (0/1) or a number that fits; a double is truncated toward zero.
    std::optional<std::int64_t> integer(const std::string& key) const;
    std::optional<double> doubleValue(const std::string& key) const;  // absent unless number
    std::optional<Bytes> data(const std::string& key) const;          // absent unless data

    // Stores `value` under `key`, replacing what was there; a null value removes the key.
    void set(const std::string& key, nlohmann::json value);
    void setData(const std::string& key, const Bytes& bytes);
    void remove(const std::string& key);
    bool contains(const std::string& key) const;

    // A file found unreadable by this store since it was made: why, and where it was kept
    // (absent when it could not be moved aside and stays where it was).
    struct UnreadableFile {
        std::string problem;
        std::optional<std::filesystem::path> keptAs;
        bool operator==(const UnreadableFile&) const = default;
    };
    std::optional<UnreadableFile> unreadableFile() const;

    // Re-reads the file (another process or a test changed it).
    void reload();
    std::filesystem::path file() const;

    static nlohmann::json dataValue(const Bytes& bytes);  // a JSON binary holding `bytes`

  private:
    void retarget(std::filesystem::path file);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pex
