#include "platform/foundation/StandardFolders.h"

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "support/TestSupport.h"

namespace pex {
namespace {
namespace fs = std::filesystem;

// Sets environment variables for one test and puts the old values back afterwards.
class ScopedEnvironment {
  public:
    void set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(StandardFoldersTest, TestRootHoldsFourSeparateFoldersCreatedOnDemand) {
    test::TempDir dir;
    StandardFolders::setRootForTesting(dir.path());
    const std::map<std::string, fs::path> folders = {
        {"Documents", StandardFolders::documents()},
        {"Application Support", StandardFolders::applicationSupport()},
        {"Caches", StandardFolders::caches()},
        {"tmp", StandardFolders::temporary()}};
    for (const auto& [name, path] : folders) {
        EXPECT_EQ(path, dir.path() / name);
        EXPECT_TRUE(fs::is_directory(path)) << path;
    }
    // Removed by someone else: asked again, it is made again.
    fs::remove_all(dir.path() / "Documents");
    EXPECT_TRUE(fs::is_directory(StandardFolders::documents()));
    StandardFolders::setRootForTesting(std::nullopt);
}

TEST(StandardFoldersTest, FollowsTheXdgFoldersAndIgnoresRelativeOnes) {
    test::TempDir dir;
    ScopedEnvironment environment;
    environment.set("HOME", (dir.path() / "home").string());
    environment.set("XDG_DATA_HOME", (dir.path() / "data").string());
    environment.set("XDG_CACHE_HOME", (dir.path() / "cache").string());

    EXPECT_EQ(StandardFolders::documents(), dir.path() / "data" / "Pexmora" / "Documents");
    EXPECT_EQ(StandardFolders::applicationSupport(),
              dir.path() / "data" / "Pexmora" / "Application Support");
    EXPECT_EQ(StandardFolders::caches(), dir.path() / "cache" / "Pexmora");
    EXPECT_EQ(StandardFolders::temporary(), dir.path() / "cache" / "Pexmora" / "tmp");
    EXPECT_TRUE(fs::is_directory(dir.path() / "data" / "Pexmora" / "Application Support"));

    environment.set("XDG_DATA_HOME", "relative/data");
    environment.set("XDG_CACHE_HOME", std::nullopt);
    EXPECT_EQ(StandardFolders::documents(),
              dir.path() / "home" / ".local" / "share" / "Pexmora" / "Documents");
    EXPECT_EQ(StandardFolders::caches(), dir.path() / "home" / ".cache" / "Pexmora");
    EXPECT_FALSE(fs::exists("relative"));
}

}  // namespace
}  // namespace pex
