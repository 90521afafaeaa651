#include "crashreporter/rollouts/CRSRemoteConfigManager.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

namespace pex {
namespace {

class RecordingPersistence : public CRSPersistenceLog {
  public:
    void updateRolloutsStateToPersistenceWithRollouts(const std::string& rollouts,
                                                      const std::string& reportID) override {
        lines.emplace_back(rollouts, reportID);
    }
    void debugLogWithMessage(const std::string& message) override { messages.push_back(message); }

    std::vector<std::pair<std::string, std::string>> lines;
    std::vector<std::string> messages;
};

class CRSRemoteConfigManagerTest : public ::testing::Test {
  protected:
    std::shared_ptr<RecordingPersistence> persistence_ = std::make_shared<RecordingPersistence>();
    CRSRemoteConfigManager manager_{nullptr, persistence_};
};

BCNRolloutAssignmentRef assignment(const std::string& value, const std::string& id = "r") {
    return std::make_shared<BCNRolloutAssignment>(id, "v", 3, "k", value);
}

TEST(CRSRolloutsHexTest, EncodesUTF8BytesAsLowercaseHex) {
    EXPECT_EQ(CRSRemoteConfigManager::stringToHexConverterFor("abc"), "616263");
    EXPECT_EQ(CRSRemoteConfigManager::stringToHexConverterFor(""), "");
    EXPECT_EQ(CRSRemoteConfigManager::stringToHexConverterFor("\xC3\xA9"), "c3a9");
}

TEST_F(CRSRemoteConfigManagerTest, KeepsAtMost128Assignments) {
    std::vector<BCNRolloutAssignmentRef> list;
    for (int i = 0; i < 200; ++i) list.push_back(assignment("x", std::to_string(i)));
    manager_.updateRolloutsStateWithRolloutsState(BCNRolloutsState(list), "exec-1");
    EXPECT_EQ(manager_.rolloutAssignment().size(), 128u);
    EXPECT_EQ(persistence_->messages,
              std::vector<std::string>{
                  "Rollouts excess the maximum number of assignments can pass to CrashReporter"});
    ASSERT_EQ(persistence_->lines.size(), 1u);
    EXPECT_EQ(persistence_->lines[0].second, "exec-1");
    EXPECT_EQ(nlohmann::json::parse(persistence_->lines[0].first)["rollouts"].size(), 128u);
}

TEST_F(CRSRemoteConfigManagerTest, CutsParameterValuesTo256UTF16Units) {
    const std::string exact(256, 'a');
    const std::string tooLong(257, 'b');
    std::string pairs;  // 200 characters outside the basic plane: two units each
    for (int i = 0; i < 200; ++i) pairs += "\xF0\x9F\x98\x80";
    auto whole = assignment(exact, "1");
    auto cut = assignment(tooLong, "2");
    auto wide = assignment(pairs, "3");

    testing::internal::CaptureStdout();
    manager_.updateRolloutsStateWithRolloutsState(BCNRolloutsState({whole, cut, wide}), "e");
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(whole->parameterValue, exact);
    EXPECT_EQ(cut->parameterValue, std::string(256, 'b'));
    EXPECT_EQ(wide->parameterValue, pairs.substr(0, 128 * 4)) << "never splits a pair";
    EXPECT_NE(printed.find("\"Rollouts excess the maximum length of parameter value can pass to "
                           "CrashReporter\" \"" +
                           tooLong + "\"\n"),
              std::string::npos);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 2);
}

TEST_F(CRSRemoteConfigManagerTest, WritesTheLineAndTheJsonText) {
    manager_.updateRolloutsStateWithRolloutsState(BCNRolloutsState({}), "e");
    ASSERT_EQ(persistence_->lines.size(), 1u);
    EXPECT_EQ(persistence_->lines[0].first, R"({"rollouts":[]})");
    EXPECT_EQ(manager_.getRolloutAssignmentsEncodedJsonString(), "[]");

    // Two assignments with equal fields are both kept.
    auto first = std::make_shared<BCNRolloutAssignment>("abc", "v1", 7, "key", "on");
    auto twin = std::make_shared<BCNRolloutAssignment>("abc", "v1", 7, "key", "on");
    manager_.updateRolloutsStateWithRolloutsState(BCNRolloutsState({first, twin, first}), "e");
    const std::string element =
        R"({"parameter_key":"6b6579","parameter_value":"6f6e","rollout_id":"616263",)"
        R"("template_version":7,"variant_id":"7631"})";
    EXPECT_EQ(manager_.getRolloutAssignmentsEncodedJsonString(),
              "[" + element + "," + element + "]");
    EXPECT_EQ(nlohmann::json::parse(persistence_->lines[1].first),
              nlohmann::json::parse(R"({"rollouts":[)" + element + "," + element + "]}"));
}

}  // namespace
}  // namespace pex
