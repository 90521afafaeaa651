#pragma once
// A fixture for the installations tests: promise work settles on the main queue, the settings
// store and standard folders live in a fresh temporary folder, and the secure item store is
// an in-memory fake.
#include <memory>
#include <regex>
#include <string>
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
    // The lines logged so far, with the message code read back from each.
    struct LoggedLine {
        std::string messageCode;
        OSLogType type;
        std::string line;
    };
    std::vector<LoggedLine> logged() const {
        static const std::regex code("\\]\\[(I-[A-Z]+[0-9]+)\\]");
        std::vector<LoggedLine> lines;
        for (const auto& entry : log.entries()) {
            std::smatch match;
            std::regex_search(entry.text, match, code);
            lines.push_back({match.size() > 1 ? match[1].str() : "", entry.type, entry.text});
        }
        return lines;
    }
    std::vector<std::string> loggedCodes() const {
        std::vector<std::string> codes;
        for (const auto& line : logged()) codes.push_back(line.messageCode);
        return codes;
    }

    TempDir dir;
    std::shared_ptr<InMemorySecureItemStore> keychain = std::make_shared<InMemorySecureItemStore>();
    LogCapture log;
};

}  // namespace pex::test
