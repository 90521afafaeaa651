// The captcha pipe's framing and messages: lines come out whole however the bytes arrive, a
// line over the limit ends the reading, and only JSON objects of plain-text fields with a type
// are messages.
#include "Login/CaptchaPipe.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace pex {
namespace {

bool append(CaptchaPipe& pipe, const std::string& bytes) {
    return pipe.append(bytes.data(), bytes.size());
}

std::vector<std::string> linesOf(CaptchaPipe& pipe) {
    std::vector<std::string> lines;
    while (auto line = pipe.nextLine()) lines.push_back(*line);
    return lines;
}

TEST(CaptchaPipeTest, LinesComeOutWholeHoweverTheBytesArrive) {
    CaptchaPipe pipe;
    ASSERT_TRUE(append(pipe, "{\"type\":\"va"));
    EXPECT_TRUE(linesOf(pipe).empty());
    ASSERT_TRUE(append(pipe, "lidate\"}\n{\"type\":\"closed\"}\n{\"ty"));
    EXPECT_EQ(linesOf(pipe),
              (std::vector<std::string>{"{\"type\":\"validate\"}", "{\"type\":\"closed\"}"}));
    ASSERT_TRUE(append(pipe, "pe\":\"x\"}\n"));
    EXPECT_EQ(linesOf(pipe), std::vector<std::string>{"{\"type\":\"x\"}"});
}

TEST(CaptchaPipeTest, ALineOverTheLimitEndsTheReading) {
    const std::string longest(CaptchaPipe::kMaxLineBytes, 'a');
    CaptchaPipe fits;
    ASSERT_TRUE(append(fits, longest));
    ASSERT_TRUE(append(fits, "\n"));
    EXPECT_EQ(linesOf(fits), std::vector<std::string>{longest});

    // Without a newline, in pieces, and inside a chunk that also ends earlier lines.
    CaptchaPipe unending;
    ASSERT_TRUE(append(unending, longest));
    EXPECT_FALSE(append(unending, "a"));
    EXPECT_TRUE(unending.overflowed());
    EXPECT_FALSE(append(unending, "\n"));
    EXPECT_TRUE(linesOf(unending).empty());

    CaptchaPipe mixed;
    const std::string chunk = "{\"type\":\"closed\"}\n" + longest + "a";
    EXPECT_FALSE(append(mixed, chunk));
    EXPECT_TRUE(linesOf(mixed).empty());
}

TEST(CaptchaPipeTest, OnlyObjectsOfPlainTextFieldsWithATypeAreMessages) {
    struct Case {
        const char* name;
        std::string line;
        std::optional<std::string> type;
        std::string validate;
    };
    const std::vector<Case> cases = {
        {"validate", R"({"type":"validate","validate":"tok-1"})", "validate", "tok-1"},
        {"unicode text", R"({"type":"failed","reason":"验证码地址无效"})", "failed", ""},
        {"no type", R"({"validate":"tok"})", std::nullopt, ""},
        {"empty type", R"({"type":""})", std::nullopt, ""},
        {"type not text", R"({"type":1})", std::nullopt, ""},
        {"field not text", R"({"type":"validate","validate":7})", std::nullopt, ""},
        {"nested", R"({"type":"validate","validate":{"a":"b"}})", std::nullopt, ""},
        {"control character", R"({"type":"validate","validate":"a\u0007b"})", std::nullopt, ""},
        {"newline in text", R"({"type":"validate","validate":"a\nb"})", std::nullopt, ""},
        {"array", R"(["validate"])", std::nullopt, ""},
        {"not JSON", "validate tok", std::nullopt, ""},
        {"empty", "", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto message = CaptchaPipe::decode(c.line);
        ASSERT_EQ(message.has_value(), c.type.has_value());
        if (!message) continue;
        EXPECT_EQ(message->type, *c.type);
        EXPECT_EQ(message->field("validate"), c.validate);
    }
}

TEST(CaptchaPipeTest, EncodedMessagesReadBackAsOneLine) {
    const CaptchaPipeMessage sent{"show", {{"origin", "http://127.0.0.1:8080"}}};
    const std::string line = CaptchaPipe::encode(sent);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const auto read = CaptchaPipe::decode(line.substr(0, line.size() - 1));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->type, "show");
    EXPECT_EQ(read->fields, sent.fields);
}

}  // namespace
}  // namespace pex
