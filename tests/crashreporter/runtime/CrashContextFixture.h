#pragma once
// A fresh crash context whose report directory is a temporary folder, so the crash-time log
// and the record files land where the test can read them.
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "crashreporter/runtime/CRSContext.h"
#include "support/TestSupport.h"

namespace pex::test {

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class CrashContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CRSContextAllocate());
        CRSContextSetRootPath(dir_.path().c_str());
        CRSContextSetPreviouslyCrashedRootPath(dir_.path().c_str());
    }

    const std::filesystem::path& root() const { return dir_.path(); }
    std::string sdkLog() const { return fileText(root() / "sdk.log"); }

  private:
    TempDir dir_;
};

}  // namespace pex::test
