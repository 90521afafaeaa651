#include "crashreporter/rollouts/CRSRolloutsPersistenceManager.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "crashreporter/reports/CRSFileManager.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class CRSRolloutsPersistenceManagerTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(files_->createReportDirectories());
        std::filesystem::create_directories(report_);
    }
    std::string fileText() const {
        std::ifstream in(report_ / kCRSRolloutsFileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void drain() {
        queue_.sync([] {});
    }

    std::shared_ptr<CRSFileManager> files_ = std::make_shared<CRSFileManager>();
    std::filesystem::path report_ = std::filesystem::path(files_->activePath()) / "exec-1";
    DispatchQueue queue_ = DispatchQueue::serial("rollouts-test");
    CRSRolloutsPersistenceManager persistence_{files_, queue_};
};

// Each change is one more line of the report's own file, private to the user.
TEST_F(CRSRolloutsPersistenceManagerTest, AppendsEachStateAsOneLineOfTheReport) {
    persistence_.updateRolloutsStateToPersistenceWithRollouts(R"({"rollouts":[]})", "exec-1");
    persistence_.updateRolloutsStateToPersistenceWithRollouts(R"({"rollouts":[{"a":1}]})",
                                                              "exec-1");
    drain();
    EXPECT_EQ(fileText(), "{\"rollouts\":[]}\n{\"rollouts\":[{\"a\":1}]}\n");
    struct stat info {};
    ASSERT_EQ(stat((report_ / kCRSRolloutsFileName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// An identifier that is not one folder name of the active reports writes nothing anywhere.
TEST_F(CRSRolloutsPersistenceManagerTest, RefusesIdentifiersOutsideTheActiveReports) {
    for (const char* id : {"", ".", "..", "../exec-1", "exec-1/../../x", "missing"}) {
        SCOPED_TRACE(id);
        persistence_.updateRolloutsStateToPersistenceWithRollouts("{}", id);
    }
    drain();
    EXPECT_FALSE(std::filesystem::exists(report_ / kCRSRolloutsFileName));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(files_->activePath()) / "missing"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(files_->activePath()).parent_path() /
                                         kCRSRolloutsFileName));
}

}  // namespace
}  // namespace pex
