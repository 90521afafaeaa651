#include "platform/foundation/UserDefaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/foundation/DefaultsFileFormat.h"
#include "support/TestSupport.h"

namespace pex {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& file, const std::string& content) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<fs::path> backupsOf(const fs::path& file) {
    std::vector<fs::path> backups;
    for (const auto& path : filesIn(file.parent_path()))
        if (path.filename().string().starts_with(file.filename().string() + ".corrupt-"))
            backups.push_back(path);
    return backups;
}

class UserDefaultsTest : public test::IsolatedTest {
  protected:
    fs::path storeFile() const { return root() / "store" / "standard.json"; }
};

TEST_F(UserDefaultsTest, EveryValueKindSurvivesAReloadFromDisk) {
    const Bytes allBytes = [] {
        Bytes bytes;
        for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
        return bytes;
    }();
    // Dictionaries whose keys look like the file's data tag must stay dictionaries.
    const json dictionary = {{"$data", "AAAA"},
                             {"$$x", 1},
                             {"name", "张三"},
                             {"nested", {{"blob", UserDefaults::dataValue({1, 2, 3})}}}};
    const json array =
        json::array({1, "two", 3.5, false, UserDefaults::dataValue({9}), json::array()});
    const std::vector<std::pair<std::string, json>> values = {
        {"text", "hello 你好"},
        {"emptyText", ""},
        {"textLikeTag", "{\"$data\":\"AAAA\"}"},
        {"yes", true},
        {"no", false},
        {"integer", 42},
        {"negative", -7},
        {"large", std::int64_t{9007199254740993}},
        {"double", 2.0},
        {"fraction", -0.125},
        {"data", UserDefaults::dataValue(allBytes)},
        {"emptyData", UserDefaults::dataValue({})},
        {"array", array},
        {"dictionary", dictionary},
        {"emptyDictionary", json::object()},
    };
    {
        UserDefaults store(storeFile());
        for (const auto& [key, value] : values) store.set(key, value);
    }
    UserDefaults reloaded(storeFile());
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(key);
        auto stored = reloaded.object(key);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type(), value.type());
        EXPECT_EQ(*stored, value);
    }
    EXPECT_EQ(reloaded.string("text"), "hello 你好");
    EXPECT_EQ(reloaded.string("emptyText"), "");
    EXPECT_EQ(reloaded.string("textLikeTag"), "{\"$data\":\"AAAA\"}");
    EXPECT_EQ(reloaded.data("data"), allBytes);
    EXPECT_EQ(reloaded.data("emptyData"), Bytes{});
    EXPECT_TRUE(reloaded.boolean("yes"));
    EXPECT_FALSE(reloaded.boolean("no"));
    EXPECT_EQ(reloaded.integer("integer"), 42);
    EXPECT_EQ(reloaded.integer("negative"), -7);
    EXPECT_EQ(reloaded.integer("large"), 9007199254740993);
    EXPECT_EQ(reloaded.doubleValue("fraction"), -0.125);
    EXPECT_TRUE(reloaded.object("double")->is_number_float());
    EXPECT_TRUE(reloaded.object("dictionary")->at("$data").is_string());
    EXPECT_TRUE(reloaded.object("dictionary")->at("nested").at("blob").is_binary());
}

TEST_F(UserDefaultsTest, ReadsOfTheWrongKindGiveAbsentOrFalse) {
    UserDefaults store(storeFile());
    store.set("text", "1");
    store.setData("data", {'a', 'b'});
    store.set("dictionary", {{"a", 1}});

    EXPECT_EQ(store.data("text"), std::nullopt);  // a text is never data
    EXPECT_EQ(store.string("data"), std::nullopt);
    EXPECT_EQ(store.string("dictionary"), std::nullopt);
    EXPECT_EQ(store.integer("text"), std::nullopt);
    EXPECT_EQ(store.doubleValue("data"), std::nullopt);
    EXPECT_FALSE(store.boolean("text"));
    EXPECT_FALSE(store.boolean("missing"));
    EXPECT_EQ(store.string("missing"), std::nullopt);
}

TEST_F(UserDefaultsTest, NumbersConvertOnlyWhenTheyFit) {
    UserDefaults store(storeFile());
    store.set("real", 3.9);
    store.set("negativeReal", -3.9);
    store.set("flag", true);
    store.set("huge", std::numeric_limits<std::uint64_t>::max());
    store.set("tooBigReal", 1e300);
    store.set("zero", 0);
    EXPECT_EQ(store.integer("real"), 3);
    EXPECT_EQ(store.integer("negativeReal"), -3);
    EXPECT_EQ(store.integer("flag"), 1);
    EXPECT_EQ(store.integer("huge"), std::nullopt);
    EXPECT_EQ(store.integer("tooBigReal"), std::nullopt);
    EXPECT_TRUE(store.boolean("real"));
    EXPECT_FALSE(store.boolean("zero"));
}

TEST_F(UserDefaultsTest, WritesReachTheFileAtOnceAndRemovalsToo) {
    UserDefaults writer(storeFile());
    writer.set("LOGIN_TOKEN", "abc");
    EXPECT_EQ(UserDefaults(storeFile()).string("LOGIN_TOKEN"), "abc");

    writer.remove("LOGIN_TOKEN");
    EXPECT_FALSE(UserDefaults(storeFile()).contains("LOGIN_TOKEN"));

    writer.set("gone", 1);
    writer.set("gone", nullptr);  // null removes, as an absent value does
    EXPECT_FALSE(writer.contains("gone"));
    EXPECT_FALSE(UserDefaults(storeFile()).contains("gone"));

    // Only the store file is left behind: temporary files are renamed or removed; the
    // file holds the signed-in state, so only its owner may read it.
    EXPECT_EQ(filesIn(storeFile().parent_path()), std::vector<fs::path>{storeFile()});
    struct stat info {};
    ASSERT_EQ(::stat(storeFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultsTest, TextThatIsNotUtf8IsStoredWithoutFailing) {
    UserDefaults store(storeFile());
    store.set("broken", std::string("ok\xff"));
    store.set("after", 1);
    UserDefaults reloaded(storeFile());
    EXPECT_EQ(reloaded.string("broken"), "ok\xef\xbf\xbd");  // the bad byte becomes U+FFFD
    EXPECT_EQ(reloaded.integer("after"), 1);
}

TEST_F(UserDefaultsTest, ReloadPicksUpChangesMadeByAnotherWriter) {
    UserDefaults first(storeFile());
    EXPECT_FALSE(first.contains("key"));
    UserDefaults(storeFile()).set("key", "from elsewhere");
    EXPECT_FALSE(first.contains("key"));  // cached until reloaded
    first.reload();
    EXPECT_EQ(first.string("key"), "from elsewhere");
}

struct BadFile {
    const char* name;
    std::string content;
};
void PrintTo(const BadFile& file, std::ostream* out) {
    *out << file.name;
}

class UserDefaultsBadFileTest : public UserDefaultsTest,
                                public ::testing::WithParamInterface<BadFile> {};

TEST_P(UserDefaultsBadFileTest, IsKeptAsBackupAndTheStoreStartsEmpty) {
    writeFile(storeFile(), GetParam().content);

    ::testing::internal::CaptureStderr();
    UserDefaults store(storeFile());
    EXPECT_FALSE(store.contains("anything"));
    const std::string log = ::testing::internal::GetCapturedStderr();

    auto backups = backupsOf(storeFile());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(readFile(backups[0]), GetParam().content);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find(backups[0].string()), std::string::npos) << log;

    // The store goes on working, and the backup is left alone.
    store.set("after", 1);
    EXPECT_EQ(UserDefaults(storeFile()).integer("after"), 1);
    EXPECT_EQ(readFile(backups[0]), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Files, UserDefaultsBadFileTest,
                         ::testing::Values(BadFile{"NotJson", "{\"LOGIN_TOKEN\": \"abc\""},
                                           BadFile{"NotAnObject", "[1, 2, 3]"},
                                           BadFile{"BadDataTag",
                                                   "{\"userInfo\": {\"$data\": \"@@@\"}}"},
                                           BadFile{"NotUtf8", std::string("{\"k\": \"\xff\xfe\"}")},
                                           BadFile{"Binary", std::string("\0\1\2\3", 4)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UserDefaultsTest, AnUnreadablePathIsMovedAsideToo) {
    fs::create_directories(storeFile() / "inside");  // a folder where the file should be
    ::testing::internal::CaptureStderr();
    UserDefaults store(storeFile());
    store.set("key", "value");
    ::testing::internal::GetCapturedStderr();

    auto backups = backupsOf(storeFile());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(fs::exists(backups[0] / "inside"));
    EXPECT_EQ(UserDefaults(storeFile()).string("key"), "value");
}

TEST_F(UserDefaultsTest, ASecondBadFileNeverReplacesTheFirstBackup) {
    ::testing::internal::CaptureStderr();
    writeFile(storeFile(), "first bad");
    UserDefaults(storeFile()).contains("x");
    writeFile(storeFile(), "second bad");
    UserDefaults(storeFile()).contains("x");
    ::testing::internal::GetCapturedStderr();

    auto backups = backupsOf(storeFile());
    ASSERT_EQ(backups.size(), 2u);
    std::vector<std::string> contents = {readFile(backups[0]), readFile(backups[1])};
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first bad", "second bad"}));
}

TEST_F(UserDefaultsTest, ABadFileThatCannotBeMovedAsideIsNeverOverwritten) {
    // Needs a folder the process may not write to; as root, the check runs as "nobody".
    const fs::path folder = root() / "locked";
    fs::create_directories(folder);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    }
    const fs::path file = folder / "standard.json";

    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
            writeFile(file, "not json");
            ::chmod(folder.c_str(), 0500);
            UserDefaults store(file);
            store.set("key", "value");
            const bool kept = readFile(file) == "not json" && backupsOf(file).empty();
            const bool usable = store.string("key") == "value";
            std::_Exit(kept && usable ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    ::chmod(folder.c_str(), 0700);
}

TEST_F(UserDefaultsTest, SuitesAreSeparateFilesWithOneInstancePerName) {
    auto first = UserDefaults::suite("group.one");
    EXPECT_EQ(first, UserDefaults::suite("group.one"));
    first->set("key", "in suite");
    UserDefaults::standard().set("key", "in standard");

    EXPECT_EQ(UserDefaults::suite("group.two")->string("key"), std::nullopt);
    EXPECT_EQ(UserDefaults(first->file()).string("key"), "in suite");
    EXPECT_EQ(UserDefaults(UserDefaults::standard().file()).string("key"), "in standard");
    EXPECT_NE(first->file(), UserDefaults::standard().file());

    for (const std::string& bad :
         std::vector<std::string>{"", ".", "..", "../escape", "a/b", std::string("a\0b", 3)})
        EXPECT_THROW(UserDefaults::suite(bad), std::invalid_argument) << bad;
}

TEST_F(UserDefaultsTest, ChangingTheRootMovesTheStandardStore) {
    UserDefaults& standard = UserDefaults::standard();
    standard.set("where", "first");
    UserDefaults::setRootDirectory(root() / "second");
    EXPECT_EQ(&standard, &UserDefaults::standard());
    EXPECT_EQ(standard.file(), root() / "second" / "standard.json");
    EXPECT_FALSE(standard.contains("where"));
    UserDefaults::setRootDirectory(root() / "config");
    EXPECT_EQ(standard.string("where"), "first");
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNothing) {
    UserDefaults store(storeFile());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                const std::string key = std::to_string(t) + "-" + std::to_string(i);
                store.set(key, i);
                EXPECT_EQ(store.integer(key), i);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    UserDefaults reloaded(storeFile());
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(reloaded.integer(std::to_string(t) + "-" + std::to_string(i)), i);
}

TEST(DefaultsFileFormatTest, Base64RoundTripsAndRejectsMalformedText) {
    const std::vector<std::pair<std::string, std::string>> known = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\xfd", "//79"}};
    for (const auto& [plain, encoded] : known) {
        json::binary_t bytes(json::binary_t::container_type(plain.begin(), plain.end()));
        EXPECT_EQ(DefaultsFileFormat::base64(bytes), encoded);
        EXPECT_EQ(DefaultsFileFormat::fromBase64(encoded), bytes) << encoded;
    }
    for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9v!", "=Zg=", "Zm 9v"})
        EXPECT_EQ(DefaultsFileFormat::fromBase64(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace pex
