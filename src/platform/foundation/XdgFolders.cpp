#include "platform/foundation/XdgFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace pex {
namespace fs = std::filesystem;

namespace {

fs::path fromVariable(const char* variable, const fs::path& fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && fs::path(value).is_absolute())
        return value;
    return XdgFolders::home() / fallbackUnderHome;
}

}  // namespace

fs::path XdgFolders::home() {
    if (const char* home = std::getenv("HOME"); home && fs::path(home).is_absolute()) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return fs::temp_directory_path();
}

fs::path XdgFolders::configHome() {
    return fromVariable("XDG_CONFIG_HOME", ".config");
}
fs::path XdgFolders::dataHome() {
    return fromVariable("XDG_DATA_HOME", fs::path(".local") / "share");
}
fs::path XdgFolders::cacheHome() {
    return fromVariable("XDG_CACHE_HOME", ".cache");
}

}  // namespace pex
