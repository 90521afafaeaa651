#pragma once
// A fixture for the installations tests: promise work settles on the main queue, the settings
// store and standard folders live in a fresh temporary folder, and the secure item store is
// an in-memory fake.
#include <memory>
#include <vector>

#include "beacon-core/LogCapture.h"
#include "beacon-core/PromiseTestSupport.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/InMemorySecureItemStore.h"

namespace pex::test {

class InstallationsTest : public PromiseTest {
  protected:
    InstallationsTest() {
        UserDefaults::setRootDirectory(dir.path() / "config");
        StandardFolders::setRootForTesting(dir.path() / "home");
        SecureItemStore::setCurrent(keychain);
    }
    ~InstallationsTest() override {
        SecureItemStore::setCurrent(nullptr);
        StandardFolders::setRootForTesting(std::nullopt);
        UserDefaults::setRootDirectory(dir.path() / "config-closed");
    }

    // Settles `promise`; its error, or null when it was fulfilled.
    static ErrorRef errorOf(const PRMPromiseRef& promise) {
        EXPECT_TRUE(settle(promise));
        return promise->error();
    }
    // The captured log lines, "<version> - <service>[<code>] <text>".
    std::vector<std::string> loggedLines() const { return capture.lines(); }

    TempDir dir;
    std::shared_ptr<InMemorySecureItemStore> keychain = std::make_shared<InMemorySecureItemStore>();
    LogCapture capture;
};

}  // namespace pex::test
