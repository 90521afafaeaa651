#pragma once
// Base fixture for report-management tests: standard folders and settings in a fresh
// temporary folder, a main bundle with a chosen identifier, and the SDK's log lines captured.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "beacon-core/LogCapture.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "support/TestSupport.h"

namespace pex::test {

class ReportsTest : public IsolatedTest {
  protected:
    ReportsTest() { useBundleIdentifier("com.pexmora/tests"); }
    ~ReportsTest() override { Bundle::setMainForTesting(std::nullopt); }

    // Makes the main bundle's identifier `identifier`; empty leaves it out.
    void useBundleIdentifier(const std::string& identifier) {
        const auto folder = root() / "bundle";
        std::filesystem::create_directories(folder);
        PropertyList::Dictionary info;
        if (!identifier.empty()) info["CFBundleIdentifier"] = identifier;
        std::ofstream(folder / "Info.plist")
            << PropertyList(info).serialize(PropertyList::Format::Xml);
        Bundle::setMainForTesting(folder);
    }

    static void writeFile(const std::filesystem::path& path, const std::string& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // Whether a captured log line contains `text`.
    bool logged(const std::string& text) const {
        const auto lines = log_.lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    LogCapture log_;
};

}  // namespace pex::test
