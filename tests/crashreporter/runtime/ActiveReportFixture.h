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
#include "crashreporter/runtime/CRSContextMetadata.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSUserLogging.h"

namespace pex::test {

// Starts a fresh crash context on "active/active-report" of `fileManager`, with its metadata
// and user logging, as start-up does; the crash marker goes to the file manager's root. The
// report folder's path.
inline std::filesystem::path startActiveReportContext(const CRSFileManager& fileManager,
                                                      const CRSContextInitData& initData = {}) {
    const auto report = std::filesystem::path(fileManager.activePath()) / "active-report";
    std::filesystem::create_directories(report);
    EXPECT_TRUE(CRSContextAllocate());
    CRSContextSetRootPath(report.c_str());
    CRSContextSetPreviouslyCrashedRootPath(fileManager.rootPath().c_str());
    CRSContextInitData withSession = initData;
    if (!withSession.sessionId) withSession.sessionId = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(CRSContextRecordMetadata(report.c_str(), withSession, Bundle::main()));
    CRSReadWriteContext* writable = crsContext->writable;
    CRSUserLoggingInitStorages(&crsContext->readonly->logging, report.c_str(), initData,
                               &writable->logging, &writable->errorsCount,
                               &writable->customExceptionCount);
    CRSContextCompleteInitialization();
    return report;
}

// The members of each `name` line of a record file.
inline std::vector<nlohmann::json> sectionsOf(const std::filesystem::path& file,
                                              const std::string& name) {
    std::vector<nlohmann::json> found;
    for (const auto& line :
         CRSFileReadSections(file.c_str(), false).value_or(std::vector<nlohmann::json>{})) {
        if (line.contains(name)) found.push_back(line[name]);
    }
    return found;
}

// The on-demand counters a new report carries, decoded: {recorded, dropped}.
inline std::vector<std::string> onDemandCounters(const std::filesystem::path& report) {
    std::vector<std::string> values;
    for (const auto& kv : sectionsOf(report / "internal_incremental_kv.clsrecord", "kv")) {
        values.push_back(
            CRSFileHexDecodeString(kv["value"].get<std::string>().c_str()).value_or("?"));
    }
    return values;
}

class ActiveReportTest : public ReportsTest {
  protected:
    void startContext(const CRSContextInitData& initData = {}) {
        activeReport_ = startActiveReportContext(fileManager_, initData);
    }
    const std::filesystem::path& activeReport() const { return activeReport_; }

    CRSFileManager fileManager_;

  private:
    std::filesystem::path activeReport_;
};

}  // namespace pex::test
