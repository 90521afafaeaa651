#include "crashreporter/runtime/CRSFileReader.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"

namespace pex {
namespace {

using nlohmann::json;

class CRSFileReaderTest : public test::CrashContextTest {
  protected:
    std::string writeFile(const std::string& name, const std::string& bytes) {
        const std::string path = (root() / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(CRSFileReaderTest, KeepsEveryCompleteLineOfACutOffFile) {
    const std::string path =
        writeFile("cut.clsrecord", "{\"a\":1}\n{\"b\":{\"c\":[1,2]}}\n{\"thread\":{\"frames\":[1,");
    const auto sections = CRSFileReadSections(path.c_str(), true);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 2u);
    EXPECT_EQ((*sections)[0], json::parse(R"({"a":1})"));
    EXPECT_EQ((*sections)[1], json::parse(R"({"b":{"c":[1,2]}})"));
}

TEST_F(CRSFileReaderTest, SkipsBadLinesAndNeverDeletesTheFileForThem) {
    const std::string path = writeFile("bad.clsrecord",
                                       "{\"a\":1}\n"
                                       "not json\n"
                                       "{\"b\":\"\xff\"}\n"  // not UTF-8
                                       "{\"q\":\"unescaped \" quote\"}\n"
                                       "[1,2]\n"
                                       "5\n"
                                       "\n"
                                       "{\"c\":3}");  // last line without newline
    const auto sections = CRSFileReadSections(path.c_str(), true);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 2u);
    EXPECT_EQ((*sections)[0]["a"], 1);
    EXPECT_EQ((*sections)[1]["c"], 3);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(CRSFileReaderTest, TransformKeepsOnlyNonEmptyResults) {
    const std::string path =
        writeFile("t.clsrecord", "{\"a\":1}\n{\"b\":2}\n{\"c\":3}\n{\"d\":4}\n");
    const auto sections =
        CRSFileReadSections(path.c_str(), false, [](const json& section) -> std::optional<json> {
            if (section.contains("a")) return std::nullopt;
            if (section.contains("b")) return json::object();
            if (section.contains("c")) return json("");
            return section["d"];
        });
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 1u);
    EXPECT_EQ((*sections)[0], 4);
}

TEST_F(CRSFileReaderTest, AnswersNothingForUnreadableInput) {
    EXPECT_FALSE(CRSFileReadSections(nullptr, true));
    EXPECT_NE(sdkLog().find("Error: input path is invalid\n"), std::string::npos);

    const std::string missing = (root() / "missing.clsrecord").string();
    EXPECT_FALSE(CRSFileReadSections(missing.c_str(), true));
    EXPECT_NE(sdkLog().find("Unable to read file " + missing + "\n"), std::string::npos);

    const std::filesystem::path folder = root() / "folder.clsrecord";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(CRSFileReadSections(folder.c_str(), true));
    EXPECT_TRUE(std::filesystem::exists(folder));

    const std::string empty = writeFile("empty.clsrecord", "");
    const auto sections = CRSFileReadSections(empty.c_str(), true);
    ASSERT_TRUE(sections);
    EXPECT_TRUE(sections->empty());
}

TEST(CRSFileHexTest, EncodesAndDecodesPairsUpToTheFirstNonHexPair) {
    EXPECT_EQ(CRSFileHexEncodeString("hi\n"), "68690a");
    EXPECT_EQ(CRSFileHexEncodeString(""), "");
    EXPECT_EQ(CRSFileHexEncodeString("\xe4\xb8\xad"), "e4b8ad");

    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"6869", "hi"},
        {"4A4b", "JK"},
        {"68zz69", "h"},  // the second pair holds a non-hex character
        {"686", "h"},     // an odd last character is ignored
        {"6g69", ""},     // the very first pair is bad
        {"", ""},
        {"e4b8ad", "\xe4\xb8\xad"},
        {"ff", std::nullopt},  // not UTF-8
    };
    for (const auto& [hex, expected] : cases) {
        EXPECT_EQ(CRSFileHexDecodeString(hex), expected) << hex;
    }
    EXPECT_EQ(CRSFileHexDecodeString(nullptr), std::nullopt);
}

}  // namespace
}  // namespace pex
