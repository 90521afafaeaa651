#include "crashreporter/reports/CRSReportAdapter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ReportsFixture.h"

namespace pex {
namespace {

// A protocol-buffer field as it is on the wire: varints as numbers, the rest as bytes.
struct WireField {
    std::uint32_t number = 0;
    std::uint64_t varint = 0;
    std::string bytes;
};

std::optional<std::uint64_t> readVarint(const std::string& in, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        value |= std::uint64_t{byte & 0x7fu} << shift;
        if ((byte & 0x80u) == 0) return value;
    }
    return std::nullopt;
}

std::vector<WireField> wireFields(const std::string& in) {
    std::vector<WireField> fields;
    std::size_t at = 0;
    while (at < in.size()) {
        const auto key = readVarint(in, at);
        EXPECT_TRUE(key.has_value());
        if (!key) break;
        WireField field;
        field.number = static_cast<std::uint32_t>(*key >> 3);
        if ((*key & 7) == 0) {
            field.varint = readVarint(in, at).value_or(0);
        } else {
            EXPECT_EQ(*key & 7, 2u);
            const auto length = readVarint(in, at);
            EXPECT_TRUE(length && at + *length <= in.size());
            if (!length || at + *length > in.size()) break;
            field.bytes = in.substr(at, *length);
            at += *length;
        }
        fields.push_back(field);
    }
    return fields;
}

struct Decoded {
    std::map<std::uint32_t, std::string> texts;  // field number → text, present ones only
    std::optional<std::uint64_t> platform;
    std::vector<std::pair<std::string, std::string>> files;
};

Decoded decode(const std::vector<std::uint8_t>& bytes) {
    Decoded out;
    for (const auto& field : wireFields(std::string(bytes.begin(), bytes.end()))) {
        if (field.number == 4) {
            out.platform = field.varint;
        } else if (field.number == 10) {
            for (const auto& file : wireFields(field.bytes)) {
                EXPECT_EQ(file.number, 1u);
                std::pair<std::string, std::string> entry;
                for (const auto& part : wireFields(file.bytes)) {
                    (part.number == 1 ? entry.first : entry.second) = part.bytes;
                }
                out.files.push_back(entry);
            }
        } else {
            EXPECT_EQ(out.texts.count(field.number), 0u) << field.number;
            out.texts[field.number] = field.bytes;
        }
    }
    return out;
}

class CRSReportAdapterTest : public test::ReportsTest {
  protected:
    std::filesystem::path folder() const { return root() / "report"; }

    void writeMetadata(const std::string& lines) {
        writeFile(folder() / "metadata.clsrecord", lines);
    }
};

TEST_F(CRSReportAdapterTest, EncodesTheFolderWithItsIdentifyingTexts) {
    writeMetadata(R"({"identity":{"build_version":"11.2.0","app_quality_session_id":"aqs-1"}})"
                  "\n"
                  R"({"host":{"platform":"MAC"}})"
                  "\n"
                  R"({"application":{"build_version":"412","display_version":"4.1"}})"
                  "\n");
    // beyond a 16-bit length
    const std::string large = R"({"signal":{"pad":")" + std::string(70000, 'x') + "\"}}\n";
    writeFile(folder() / "signal.clsrecord", large);
    writeFile(folder() / "signal.clsrecord.symbolicated", R"({"threads":[]})");
    writeFile(folder() / "Apple.clsrecord", "1");
    writeFile(folder() / "binary_images.clsrecord", "");
    writeFile(folder() / "sdk.log", "log");
    writeFile(folder() / "previously-crashed", "");
    std::filesystem::create_directories(folder() / "nested");

    const CRSReportAdapter adapter(folder().string(), "1:1234:app:abcd", nullptr, "fid-9",
                                   std::nullopt);
    const Decoded message = decode(adapter.transportBytes());

    const std::map<std::uint32_t, std::string> texts = {
        {1, "11.2.0"}, {3, "1:1234:app:abcd"}, {5, ""},       {6, "412"},
        {7, "4.1"},    {16, "fid-9"},          {17, "aqs-1"}, {19, ""}};
    EXPECT_EQ(message.texts, texts);
    EXPECT_EQ(message.platform, 5u);
    const std::vector<std::string> names = {"Apple.clsrecord", "binary_images.clsrecord",
                                            "metadata.clsrecord", "signal.clsrecord",
                                            "signal.clsrecord.symbolicated"};
    ASSERT_EQ(message.files.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(message.files[i].first, names[i]);
    }
    EXPECT_EQ(message.files[0].second, "1");
    EXPECT_EQ(message.files[1].second, "");
    EXPECT_EQ(message.files[3].second, large);
    EXPECT_EQ(message.files[4].second, R"({"threads":[]})");
}

// Nothing fails construction: a folder that is not there sends empty texts and no files.
TEST_F(CRSReportAdapterTest, AMissingFolderGivesEmptyTextsAndNoFiles) {
    const CRSReportAdapter adapter(folder().string(), "", nullptr, std::nullopt, std::nullopt);
    const Decoded message = decode(adapter.transportBytes());
    EXPECT_EQ(message.texts.size(), 8u);
    for (const auto& [number, text] : message.texts) EXPECT_EQ(text, "") << number;
    EXPECT_FALSE(message.platform.has_value());  // 0 is not written
    EXPECT_TRUE(message.files.empty());
    EXPECT_TRUE(logged("Failed to find .clsrecords from"));
}

TEST_F(CRSReportAdapterTest, MapsPlatformNamesWithoutRegardToCase) {
    const std::vector<std::pair<std::optional<std::string>, int>> cases = {
        {"ios", 1}, {"IOS", 1},     {"tvos", 2}, {"mac", 5},
        {"MAC", 5}, {"watchos", 0}, {"", 0},     {std::nullopt, 0}};
    for (const auto& [name, value] : cases) {
        EXPECT_EQ(CRSReportAdapter::protoPlatformFromString(name), value)
            << name.value_or("(none)");
    }
}

// A damaged record sends what of it reads; one with nothing readable is left out. Both are
// logged.
TEST_F(CRSReportAdapterTest, SendsOnlyTheReadableLinesOfARecord) {
    const std::string good = R"({"signal":{"number":11}})"
                             "\n"
                             R"({"threads":[[1,2]]})"
                             "\n";
    writeFile(folder() / "signal.clsrecord", R"({"signal":{"number":11}})"
                                             "\n\x01\x02garbage\n"
                                             R"({"threads":[[1,2]]})"
                                             "\n"
                                             R"({"runtime":{"objc_sel)");
    writeFile(folder() / "exception.clsrecord", "\xff\xfe not a record\n{{{\n");
    writeFile(folder() / "binary_images.clsrecord", "");

    const CRSReportAdapter adapter(folder().string(), "1:1234:app:abcd", nullptr, std::nullopt,
                                   std::nullopt);
    const Decoded message = decode(adapter.transportBytes());
    const std::vector<std::pair<std::string, std::string>> files = {{"binary_images.clsrecord", ""},
                                                                    {"signal.clsrecord", good}};
    EXPECT_EQ(message.files, files);
    EXPECT_TRUE(
        logged("Leaving out 2 unreadable lines of " + (folder() / "signal.clsrecord").string()));
    EXPECT_TRUE(logged("Leaving out " + (folder() / "exception.clsrecord").string() +
                       ": none of its 2 lines reads"));
}

TEST_F(CRSReportAdapterTest, ReadsJsonLinesSkippingBadOnesAndMergesThem) {
    const auto path = root() / "lines";
    writeFile(path, "{\"a\":1,\"b\":2}\n\nnot json\n{\"b\":3}\n[1]\n");
    const auto objects = CRSReportAdapter::dictionariesFromEachLineOfFile(path.string());
    ASSERT_EQ(objects.size(), 3u);
    // The bad line is the third: the empty line counts.
    EXPECT_TRUE(
        logged("Failed to read JSON from file (" + path.string() + ") line (3) with error:"));
    EXPECT_EQ(CRSReportAdapter::combinedDictionariesFromFilePath(path.string()),
              nlohmann::json({{"a", 1}, {"b", 3}}));
    EXPECT_TRUE(
        CRSReportAdapter::dictionariesFromEachLineOfFile((root() / "none").string()).empty());
}

// A decoder written elsewhere reads the message against its schema (it prints no empty texts).
TEST_F(CRSReportAdapterTest, DecodesWithTheSchemaCompiler) {
    writeMetadata(R"({"host":{"platform":"ios"},"identity":{"build_version":"11.2.0"}})"
                  "\n");
    writeFile(folder() / "exception.clsrecord", "7");
    const CRSReportAdapter adapter(folder().string(), "app-id", nullptr, std::nullopt, "token");
    const auto bytes = adapter.transportBytes();
    const auto encoded = root() / "message.bin";
    writeFile(encoded, std::string(bytes.begin(), bytes.end()));

    const std::string command = std::string("protoc --decode=beacon.crashreporter.Report -I ") +
                                CRS_REPORT_PROTO_DIR + " crs_report.proto < " + encoded.string();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, got);
    ASSERT_EQ(pclose(pipe), 0) << out;
    for (const char* line :
         {"sdk_version: \"11.2.0\"", "bmp_app_id: \"app-id\"", "platform: PLATFORM_IOS",
          "beacon_authentication_token: \"token\"", "filename: \"exception.clsrecord\"",
          "contents: \"7\"", "filename: \"metadata.clsrecord\""}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
}

}  // namespace
}  // namespace pex
