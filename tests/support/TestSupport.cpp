#include "support/TestSupport.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/foundation/MainQueue.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"

namespace pex::test {

// Set by QtTestMain when Qt's event loop drives the main queue.
std::function<bool(const std::function<bool()>&, std::chrono::milliseconds)> gRunMainUntil;

std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("pexmora-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

IsolatedTest::IsolatedTest() {
    UserDefaults::setRootDirectory(dir_.path() / "config");
    StandardFolders::setRootForTesting(dir_.path() / "home");
}

IsolatedTest::~IsolatedTest() {
    StandardFolders::setRootForTesting(std::nullopt);
    UserDefaults::setRootDirectory(dir_.path() / "config-closed");
}

bool runMainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    if (gRunMainUntil) return gRunMainUntil(done, timeout);
    return MainQueue::runUntil(done, timeout);
}

}  // namespace pex::test
