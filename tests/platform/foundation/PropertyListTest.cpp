#include "platform/foundation/PropertyList.h"

#include <limits>

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {
using Format = PropertyList::Format;

PropertyList everyKind() {
    return PropertyList(PropertyList::Dictionary{
        {"text", PropertyList("héllo \"quoted\" <tag> & 中文")},
        {"empty", PropertyList("")},
        {"integer", PropertyList(std::int64_t{1234567890123})},
        {"negative", PropertyList(-5)},
        {"real", PropertyList(2.5)},
        {"yes", PropertyList(true)},
        {"no", PropertyList(false)},
        {"date", PropertyList(PropertyList::Date{757382400})},
        {"data", PropertyList(PropertyList::Data{0, 1, 2, 255})},
        {"$dollar", PropertyList("a key that looks like a tag")},
        {"array", PropertyList(PropertyList::Array{PropertyList(1), PropertyList("two"),
                                                   PropertyList(PropertyList::Array{})})},
        {"nested", PropertyList(PropertyList::Dictionary{{"inner", PropertyList(7)}})},
    });
}

class PropertyListFormatTest : public ::testing::TestWithParam<Format> {};

TEST_P(PropertyListFormatTest, EveryKindRoundTrips) {
    const PropertyList original = everyKind();
    const std::string bytes = original.serialize(GetParam());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.starts_with("bplist00"), GetParam() == Format::Binary);
    std::string problem;
    auto read = PropertyList::parse(bytes, &problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_EQ(*read, original) << read->description();
}

TEST_P(PropertyListFormatTest, TopLevelValuesOfEachKindRoundTrip) {
    for (const PropertyList& value :
         {PropertyList("text"), PropertyList(42), PropertyList(0.125), PropertyList(true),
          PropertyList(PropertyList::Data{9}), PropertyList(PropertyList::Array{})}) {
        auto read = PropertyList::parse(value.serialize(GetParam()));
        ASSERT_TRUE(read) << value.description();
        EXPECT_EQ(*read, value);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PropertyListFormatTest,
                         ::testing::Values(Format::Xml, Format::Binary), [](const auto& info) {
                             return info.param == Format::Xml ? "Xml" : "Binary";
                         });

// XML dates are written to the second, as the format defines them; binary keeps fractions.
TEST(PropertyListTest, DatesKeepFractionsOfASecondOnlyInBinary) {
    const PropertyList date(PropertyList::Date{757382400.25});
    EXPECT_EQ(PropertyList::parse(date.serialize(Format::Binary)), date);
    EXPECT_EQ(PropertyList::parse(date.serialize(Format::Xml)),
              PropertyList(PropertyList::Date{757382400}));
}

TEST(PropertyListTest, BadInputIsRefusedWithAReason) {
    std::string problem;
    EXPECT_FALSE(PropertyList::parse("", &problem));
    EXPECT_EQ(problem, "empty");
    EXPECT_FALSE(PropertyList::parse("not a property list at all", &problem));
    EXPECT_FALSE(PropertyList::parse("bplist00\x01\x02", &problem));
    const std::string big = PropertyList("x").serialize(Format::Xml);
    EXPECT_FALSE(PropertyList::parse(big, &problem, big.size() - 1));
    EXPECT_EQ(problem, "too large");
}

// A NUL byte inside a text or a key once aborted the process inside the property-list library.
TEST(PropertyListTest, DatesBeyondTheFormatsSecondsAreHeldAtTheEdge) {
    for (const double seconds : {1e20, -1e20}) {
        const auto back = PropertyList::parse(
            PropertyList(PropertyList::Date{seconds}).serialize(Format::Binary));
        ASSERT_TRUE(back && back->is<PropertyList::Date>()) << seconds;
        EXPECT_EQ(back->get<PropertyList::Date>()->secondsSinceReferenceDate,
                  seconds > 0 ? 2147483647.0 : -2147483648.0);
    }
}

TEST(PropertyListTest, ATextHoldingANulByteEndsThere) {
    using namespace std::string_literals;
    const auto value = PropertyList::parse(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a\0b</string></plist>"s);
    ASSERT_TRUE(value);
    ASSERT_TRUE(value->is<std::string>());
    EXPECT_EQ(*value->get<std::string>(), "a");
}

TEST(PropertyListTest, AKeyHoldingANulByteEndsThere) {
    // A binary list of {"a<b\0c": 1}.
    const std::string bytes(
        "bplist00\xd1\x01\x02\x55\x61\x3c\x62\x00\x63\x10\x01\x08\x0b\x11\x00\x00\x00"
        "\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13",
        54);
    const auto value = PropertyList::parse(bytes);
    ASSERT_TRUE(value);
    const PropertyList* entry = value->find("a<b");
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry, PropertyList(1));
}

// The binary writer is our own; the library reads what it writes back as it was.
TEST(PropertyListTest, TheBinaryWriterUsesEveryWidthAndKindTheReaderKnows) {
    using Array = PropertyList::Array;
    using Data = PropertyList::Data;
    using Date = PropertyList::Date;
    const auto roundTrips = [](const char* name, const PropertyList& value) {
        std::string problem;
        auto read = PropertyList::parse(value.serialize(Format::Binary), &problem);
        ASSERT_TRUE(read) << name << ": " << problem;
        EXPECT_EQ(*read, value) << name << ": " << read->description();
    };
    Array integers;
    for (std::int64_t number : {std::int64_t{0}, std::int64_t{255}, std::int64_t{256},
                                std::int64_t{65535}, std::int64_t{65536}, std::int64_t{4294967295},
                                std::int64_t{4294967296}, std::numeric_limits<std::int64_t>::max(),
                                std::int64_t{-1}, std::numeric_limits<std::int64_t>::min()})
        integers.emplace_back(number);
    roundTrips("integers at each width", PropertyList(integers));
    roundTrips("reals", PropertyList(Array{PropertyList(0.1), PropertyList(-1e300)}));
    roundTrips(
        "texts around the long count",
        PropertyList(Array{PropertyList(std::string(14, 'a')), PropertyList(std::string(15, 'b')),
                           PropertyList(std::string(300, 'c'))}));
    roundTrips("texts beyond ASCII",
               PropertyList(Array{PropertyList("中文 é"), PropertyList("emoji 😀 pair"),
                                  PropertyList(std::string(20, 'x') + "ü")}));
    roundTrips("data around the long count and past 64 KiB of offsets",
               PropertyList(Array{PropertyList(Data{}), PropertyList(Data(14, 1)),
                                  PropertyList(Data(15, 2)), PropertyList(Data(70'000, 3)),
                                  PropertyList("after")}));
    Array many;
    for (int i = 0; i < 300; ++i) many.emplace_back(i);
    roundTrips("more objects than one-byte references reach", PropertyList(many));
    roundTrips("dates",
               PropertyList(Array{PropertyList(Date{-86400}), PropertyList(Date{757382400.125})}));
    PropertyList::Dictionary inner{{"c", PropertyList(true)}, {"d", PropertyList(false)}};
    PropertyList::Dictionary outer{{"a", PropertyList(Array{PropertyList(inner)})},
                                   {std::string(20, 'k'), PropertyList()}};
    roundTrips("nested containers", PropertyList(outer));

    // Bytes that are no UTF-8 at all are written as replacement characters.
    EXPECT_EQ(PropertyList::parse(PropertyList("a\xff"
                                               "b\xe4")
                                      .serialize(Format::Binary)),
              PropertyList("a\xef\xbf\xbd"
                           "b\xef\xbf\xbd"));
    // Both writers agree on what a value holds.
    EXPECT_EQ(PropertyList::parse(everyKind().serialize(Format::Binary)),
              PropertyList::parse(everyKind().serialize(Format::Xml)));
}

TEST(PropertyListTest, TheSettingsStoreFormRoundTripsAndKeepsDatesApartFromDictionaries) {
    const PropertyList original = everyKind();
    const nlohmann::json stored = original.toJson();
    EXPECT_TRUE(stored["data"].is_binary());
    EXPECT_EQ(stored["date"], (nlohmann::json{{"$date", 757382400.0}}));
    EXPECT_TRUE(stored.contains("$$dollar"));
    auto read = PropertyList::fromJson(stored);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, original);
    // A dictionary whose one key is "$date" stays a dictionary.
    PropertyList lookalike(PropertyList::Dictionary{{"$date", PropertyList(1.0)}});
    EXPECT_EQ(PropertyList::fromJson(lookalike.toJson()), lookalike);
    EXPECT_FALSE(PropertyList::fromJson(nullptr));
    EXPECT_FALSE(PropertyList::fromJson(nlohmann::json::array({1, nullptr})));
}

struct Token {
    static constexpr const char* kArchiveClassName = "Token";
    std::string value;
    std::int64_t expiry = 0;
    PropertyList::Dictionary encodeWithCoder() const {
        return {{"value", PropertyList(value)}, {"expiry", PropertyList(expiry)}};
    }
    static std::optional<Token> decodeWithCoder(const PropertyList::Dictionary& values) {
        auto value = values.find("value");
        auto expiry = values.find("expiry");
        if (value == values.end() || expiry == values.end() || !value->second.is<std::string>() ||
            !expiry->second.is<std::int64_t>())
            return std::nullopt;
        return Token{*value->second.get<std::string>(), *expiry->second.get<std::int64_t>()};
    }
};

struct Other {
    static constexpr const char* kArchiveClassName = "Other";
    PropertyList::Dictionary encodeWithCoder() const { return {}; }
    static std::optional<Other> decodeWithCoder(const PropertyList::Dictionary&) { return Other{}; }
};

TEST(KeyedArchiveTest, RoundTripsAsABinaryPropertyList) {
    const std::string bytes = KeyedArchive::archive(Token{"abc", 99});
    EXPECT_TRUE(bytes.starts_with("bplist00"));
    std::string problem;
    auto token = KeyedArchive::unarchive<Token>(bytes, &problem);
    ASSERT_TRUE(token) << problem;
    EXPECT_EQ(token->value, "abc");
    EXPECT_EQ(token->expiry, 99);
}

TEST(KeyedArchiveTest, DecodingAsAnotherClassOrFromOtherBytesFails) {
    const std::string bytes = KeyedArchive::archive(Token{"abc", 99});
    std::string problem;
    EXPECT_FALSE(KeyedArchive::unarchive<Other>(bytes, &problem));
    EXPECT_EQ(problem, "archive holds a Token, not a Other");
    EXPECT_FALSE(KeyedArchive::unarchive<Token>("garbage", &problem));
    const std::string plain = PropertyList(PropertyList::Dictionary{}).serialize(Format::Binary);
    EXPECT_FALSE(KeyedArchive::unarchive<Token>(plain, &problem));
    EXPECT_EQ(problem, "not an archive of ours");
    // The right class with values that do not make one.
    EXPECT_FALSE(KeyedArchive::unarchive<Token>(KeyedArchive::archive("Token", {}), &problem));
    // A newer format version is not guessed at.
    PropertyList::Dictionary newer{{"$archiver", PropertyList("PexmoraKeyedArchive")},
                                   {"$version", PropertyList(2)},
                                   {"$class", PropertyList("Token")},
                                   {"$values", PropertyList(Token{"a", 1}.encodeWithCoder())}};
    EXPECT_FALSE(
        KeyedArchive::unarchive<Token>(PropertyList(newer).serialize(Format::Binary), &problem));
    EXPECT_EQ(problem, "archive version not supported");
}

}  // namespace
}  // namespace pex
