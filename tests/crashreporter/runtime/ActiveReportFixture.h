#pragma once
// An initialised crash context whose report is a folder under the crash SDK's "active"
// folder, in isolated standard folders: what the exception recorders need to copy the active
// report into a new one and write custom exceptions beside it.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/ReportsFixture.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSUserLogging.h"

namespace pex::test {

class ActiveReportTest : public ReportsTest {
  protected:
    void startContext(const CRSContextInitData& initData = {}) {
        activeReport_ = std::filesystem::path(fileManager_.activePath()) / "active-report";
        std::filesystem::create_directories(activeReport_);
        ASSERT_TRUE(CRSContextAllocate());
        CRSContextSetRootPath(activeReport_.c_str());
        CRSContextSetPreviouslyCrashedRootPath(fileManager_.rootPath().c_str());
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, activeReport_.c_str(), initData,
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
        CRSContextCompleteInitialization();
    }

    const std::filesystem::path& activeReport() const { return activeReport_; }

    // The members of each `name` line of a record file.
    static std::vector<nlohmann::json> sectionsOf(const std::filesystem::path& file,
                                                  const std::string& name) {
        std::vector<nlohmann::json> found;
        for (const auto& line :
             CRSFileReadSections(file.c_str(), false).value_or(std::vector<nlohmann::json>{})) {
            if (line.contains(name)) found.push_back(line[name]);
        }
        return found;
    }
    static std::string hex(const std::string& text) { return CRSFileHexEncodeString(text.c_str()); }

    // The on-demand counters a new report carries, decoded: {recorded, dropped}.
    static std::vector<std::string> onDemandCounters(const std::filesystem::path& report) {
        std::vector<std::string> values;
        for (const auto& kv : sectionsOf(report / "internal_incremental_kv.clsrecord", "kv")) {
            values.push_back(
                CRSFileHexDecodeString(kv["value"].get<std::string>().c_str()).value_or("?"));
        }
        return values;
    }

    CRSFileManager fileManager_;

  private:
    std::filesystem::path activeReport_;
};

}  // namespace pex::test
