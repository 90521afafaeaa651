#include <regex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/StandardFolders.h"
#include "platform/grdb/DatabaseQueue.h"
#include "service/AIResponseDetailRecord.h"
#include "service/HistoryRecord.h"
#include "service/TranslationDetailRecord.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

template <class Record>
std::vector<std::string> keyTexts(int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        const auto key = static_cast<typename Record::CodingKeys>(i);
        texts.emplace_back(Record::stringValue(key));
        EXPECT_EQ(Record::codingKey(texts.back()), key);
    }
    return texts;
}

// The keys are the field names, in field order, which are also the columns of the tables.
TEST(HistoryRecordsTest, CodingKeysAreTheFieldNamesInOrder) {
    EXPECT_THAT(keyTexts<HistoryRecord>(10),
                ::testing::ElementsAre("id", "title", "timeStr", "audioFileName", "sourceLanguage",
                                       "resultLanguage", "modelType", "antoAnswerType",
                                       "historyFileName", "time"));
    EXPECT_THAT(keyTexts<TranslationDetailRecord>(12),
                ::testing::ElementsAre("id", "historyId", "time", "timeStr", "sourceText",
                                       "resultText", "sourceColor", "resultColor", "streamID",
                                       "aiResultText", "startTime", "endTime"));
    EXPECT_THAT(keyTexts<AIResponseDetailRecord>(6),
                ::testing::ElementsAre("id", "historyId", "time", "timeStr", "aiQuestionText",
                                       "aiResultText"));
    // Key texts match exactly: another letter case, or a text naming no field, gives no key.
    for (const char* text : {"Title", "TIMESTR", "streamId", "", "rowid"}) {
        EXPECT_EQ(HistoryRecord::codingKey(text), std::nullopt) << text;
        EXPECT_EQ(TranslationDetailRecord::codingKey(text), std::nullopt) << text;
        EXPECT_EQ(AIResponseDetailRecord::codingKey(text), std::nullopt) << text;
    }
}

TEST(HistoryRecordsTest, TimeDefaultsToTheCurrentLocalDateAndTime) {
    const std::regex format(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
    EXPECT_TRUE(std::regex_match(HistoryRecord{}.time, format)) << HistoryRecord{}.time;
    EXPECT_TRUE(std::regex_match(TranslationDetailRecord{}.time, format));
    EXPECT_TRUE(std::regex_match(AIResponseDetailRecord{}.time, format));
}

TEST(HistoryRecordsTest, EncodingWritesEveryColumnWithAbsentValuesAsNull) {
    PersistenceContainer container;
    HistoryRecord{.title = "t", .time = "x"}.encode(container);
    ASSERT_EQ(container.columns().size(), 10u);
    EXPECT_EQ(container.columns()[0].first, "id");
    EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(container.columns()[0].second));
    EXPECT_EQ(std::get<std::string>(container.columns()[1].second), "t");
    EXPECT_TRUE(std::holds_alternative<std::nullptr_t>(container.columns()[8].second));
    EXPECT_EQ(std::get<std::string>(container.columns()[9].second), "x");
}

class HistoryRecordsDecodingTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        auto opened = DatabaseQueue::open(StandardFolders::documents() / "records.sqlite");
        ASSERT_TRUE(opened.ok()) << opened.error().description();
        queue = std::move(opened).value();
    }
    template <class Record>
    DatabaseResult<std::vector<Record>> fetch(const std::string& sql) {
        return queue->read([&](Database& db) { return db.fetchAll<Record>(sql); });
    }
    std::unique_ptr<DatabaseQueue> queue;
};

TEST_F(HistoryRecordsDecodingTest, StoredTimeIsTakenAsItIsAndAMissingTimeFailsTheDecoding) {
    const std::string columns =
        "1 AS id, 'AI面试' AS title, 2.5 AS timeStr, 'a' AS audioFileName, NULL AS sourceLanguage, "
        "'en' AS resultLanguage, 1 AS modelType, 0 AS antoAnswerType, NULL AS historyFileName";
    auto withTime = fetch<HistoryRecord>("SELECT " + columns + ", 'yesterday, noon' AS time");
    ASSERT_TRUE(withTime.ok()) << withTime.error().description();
    ASSERT_EQ(withTime.value().size(), 1u);
    EXPECT_EQ(withTime.value()[0], (HistoryRecord{1, "AI面试", 2.5, "a", std::nullopt, "en", 1, 0,
                                                  std::nullopt, "yesterday, noon"}));

    auto withoutTime = fetch<HistoryRecord>("SELECT " + columns);
    ASSERT_FALSE(withoutTime.ok());
    EXPECT_THAT(withoutTime.error().description(),
                ::testing::StartsWith("cannot decode column \"time\": no such column"));
}

// A table of an older layout may lack the optional columns: those fields are then absent and
// the row still decodes.
TEST_F(HistoryRecordsDecodingTest, OptionalColumnsMayBeMissing) {
    auto fetched = fetch<HistoryRecord>(
        "SELECT 'AI面试' AS title, 2.5 AS timeStr, 'a' AS audioFileName, 1 AS modelType, "
        "0 AS antoAnswerType, 't' AS time");
    ASSERT_TRUE(fetched.ok()) << fetched.error().description();
    ASSERT_EQ(fetched.value().size(), 1u);
    EXPECT_EQ(fetched.value()[0], (HistoryRecord{std::nullopt, "AI面试", 2.5, "a", std::nullopt,
                                                 std::nullopt, 1, 0, std::nullopt, "t"}));

    auto line = fetch<TranslationDetailRecord>(
        "SELECT 5 AS historyId, 't' AS time, 1 AS timeStr, 's' AS sourceText, 'r' AS resultText, "
        "'c' AS sourceColor, 'c' AS resultColor, 7 AS streamID, '' AS aiResultText, "
        "0 AS startTime, 0 AS endTime");
    ASSERT_TRUE(line.ok()) << line.error().description();
    EXPECT_EQ(line.value()[0].id, std::nullopt);
    EXPECT_EQ(line.value()[0].streamID, 7);
}

TEST_F(HistoryRecordsDecodingTest, RequiredValuesMustBePresentAndOfTheirKind) {
    const std::string valid =
        "SELECT NULL AS id, 5 AS historyId, 't' AS time, 3 AS timeStr, 'q' AS aiQuestionText, "
        "'a' AS aiResultText";
    auto fetched = fetch<AIResponseDetailRecord>(valid);
    ASSERT_TRUE(fetched.ok()) << fetched.error().description();
    EXPECT_EQ(fetched.value()[0].id, std::nullopt);
    EXPECT_EQ(fetched.value()[0].timeStr, 3.0);  // an INTEGER column reads as a number

    struct Case {
        std::string replaced, by, reason;
    };
    for (const auto& c : std::vector<Case>{
             {"5 AS historyId", "NULL AS historyId", "\"historyId\": NULL"},
             {"'q' AS aiQuestionText", "NULL AS aiQuestionText", "\"aiQuestionText\": NULL"},
             {"5 AS historyId", "'five' AS historyId", "\"historyId\": not an integer"},
             {"3 AS timeStr", "'soon' AS timeStr", "\"timeStr\": not a number"},
             {"'a' AS aiResultText", "7 AS aiResultText", "\"aiResultText\": not text"},
             {"NULL AS id", "1.5 AS id", "\"id\": not an integer"},
         }) {
        std::string sql = valid;
        sql.replace(sql.find(c.replaced), c.replaced.size(), c.by);
        SCOPED_TRACE(sql);
        auto failed = fetch<AIResponseDetailRecord>(sql);
        ASSERT_FALSE(failed.ok());
        EXPECT_THAT(failed.error().description(), ::testing::HasSubstr(c.reason));
    }
}

}  // namespace
}  // namespace pex
