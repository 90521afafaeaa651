#pragma once
// Helpers shared by the test programs.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace pex::test {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The whole content of `path`; empty when it cannot be read.
std::string fileText(const std::filesystem::path& path);

// Base fixture that points the settings store and the standard folders at a fresh temporary
// folder, so no test touches the user's files or sees another test's.
class IsolatedTest : public ::testing::Test {
  protected:
    IsolatedTest();
    ~IsolatedTest() override;
    const std::filesystem::path& root() const { return dir_.path(); }

  private:
    TempDir dir_;
};

// Runs the main queue (run-loop mode or Qt) until `done()` or the timeout; returns done().
bool runMainUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace pex::test
