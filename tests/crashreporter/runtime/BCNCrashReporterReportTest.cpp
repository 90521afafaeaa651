#include "crashreporter/BCNCrashReporterReport.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "../../beacon-core/LogCapture.h"
#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

// The running launch writes into root(); the earlier report lives in its own folder.
class BCNCrashReporterReportTest : public test::CrashContextTest {
  protected:
    void start() {
        CRSContextInitData settings;
        settings.maxLogSize = 1000;
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, root().c_str(), settings,
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
        CRSContextCompleteInitialization();
    }
    std::unique_ptr<BCNCrashReporterReport> report() const {
        const CRSInternalReport internal(earlier_.path().string(), "a1b2");
        return std::make_unique<BCNCrashReporterReport>(internal);
    }
    std::vector<std::string> decodedKeys(const char* file) const {
        std::vector<std::string> found;
        for (const auto& line : CRSFileParseSections(test::fileText(earlier_.path() / file))) {
            found.push_back(*CRSFileHexDecodeString(line["kv"]["key"].get<std::string>().c_str()));
        }
        return found;
    }
    test::TempDir earlier_;
};

TEST_F(BCNCrashReporterReportTest, AnnotationsGoIntoTheEarlierReportsFiles) {
    start();
    std::ofstream(earlier_.path() / "metadata.clsrecord")
        << R"({"identity":{"started_at":1700000000}})"
        << "\n";
    std::ofstream(earlier_.path() / "signal.clsrecord") << R"({"signal":{"number":11}})"
                                                        << "\n";
    {
        auto annotated = report();
        EXPECT_EQ(annotated->reportID(), "a1b2");
        EXPECT_TRUE(annotated->hasCrash());
        EXPECT_EQ(annotated->dateCreated(), std::chrono::system_clock::from_time_t(1700000000));
        annotated->log("plain");
        annotated->logWithFormat("formatted %d", 42);
        annotated->setUserID(std::string("user-7"));
        annotated->setCustomValue("blue", std::string("theme"));
        annotated->setCustomKeysAndValues({{"plan", "pro"}});
        annotated->log(std::string(2000, 'z'));  // the running launch's limit applies
        annotated->log("after the swap");
    }  // waits for the queued work on its records
    const auto lines = CRSFileParseSections(test::fileText(earlier_.path() / "log_a.clsrecord"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(CRSFileHexDecodeString(lines[1]["log"]["msg"].get<std::string>().c_str()),
              "formatted 42");
    EXPECT_EQ(lines[2]["log"]["msg"].get<std::string>().size(), 2000u);  // 1000 bytes in hex
    // The cut line still passed the limit, so the next one went to the other file.
    const auto after = CRSFileParseSections(test::fileText(earlier_.path() / "log_b.clsrecord"));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(decodedKeys("internal_incremental_kv.clsrecord"),
              std::vector<std::string>{"com.crashreporter.user-id"});
    EXPECT_EQ(decodedKeys("user_incremental_kv.clsrecord"),
              (std::vector<std::string>{"theme", "plan"}));
    // Nothing of it went into the current launch's folder.
    for (const auto& entry : fs::directory_iterator(root())) {
        EXPECT_NE(entry.path().extension(), ".clsrecord") << entry.path();
    }
}

TEST_F(BCNCrashReporterReportTest, RefusesAnnotationsBeforeTheContextStarts) {
    test::LogCapture capture;
    auto annotated = report();
    annotated->log("x");
    annotated->logWithFormat("%s", "x");
    annotated->setUserID(std::string("u"));
    annotated->setCustomValue("v", std::string("k"));
    annotated->setCustomKeysAndValues({{"k", "v"}});
    annotated.reset();
    EXPECT_TRUE(fs::is_empty(earlier_.path()));
    const auto lines = capture.lines();
    const char* methods[] = {"log:", "logWithFormat:", "setUserID:", "setCustomValue:forKey:",
                             "setCustomKeysAndValues:"};
    ASSERT_EQ(lines.size(), std::size(methods));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find(std::string(methods[i]) +
                                " failed for BCNCrashReporterReport because CrashReporter "
                                "context isn't initialized."),
                  std::string::npos)
            << lines[i];
    }
}

}  // namespace
}  // namespace pex
