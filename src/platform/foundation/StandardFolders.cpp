#include "platform/foundation/StandardFolders.h"

#include <mutex>

#include "platform/foundation/XdgFolders.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

std::mutex gMutex;
std::optional<fs::path> gTestRoot;

std::optional<fs::path> testRoot() {
    std::lock_guard lock(gMutex);
    return gTestRoot;
}

fs::path dataFolder() {
    return XdgFolders::dataHome() / "Pexmora";
}
fs::path cacheFolder() {
    return XdgFolders::cacheHome() / "Pexmora";
}

fs::path ensured(fs::path folder) {
    std::error_code ignored;  // the caller meets the real error when it uses the folder
    if (fs::create_directories(folder, ignored)) {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ignored);
    }
    return folder;
}

}  // namespace

fs::path StandardFolders::documents() {
    auto root = testRoot();
    return ensured(root ? *root / "Documents" : dataFolder() / "Documents");
}

fs::path StandardFolders::applicationSupport() {
    auto root = testRoot();
    return ensured(root ? *root / "Application Support" : dataFolder() / "Application Support");
}

fs::path StandardFolders::caches() {
    auto root = testRoot();
    return ensured(root ? *root / "Caches" : cacheFolder());
}

fs::path StandardFolders::temporary() {
    auto root = testRoot();
    return ensured(root ? *root / "tmp" : cacheFolder() / "tmp");
}

void StandardFolders::setRootForTesting(std::optional<fs::path> root) {
    std::lock_guard lock(gMutex);
    gTestRoot = std::move(root);
}

}  // namespace pex
