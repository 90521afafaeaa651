#include "crashreporter/reports/CRSSymbolResolver.h"

#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "crashreporter/reports/CRSDemangleOperation.h"
#include "crashreporter/reports/CRSProcessReportOperation.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "support/TestSupport.h"

namespace pex {

// Internal linkage: only the executable's full symbol table knows these.
namespace {

__attribute__((noinline)) int resolverTarget(int value) {
    asm volatile("" ::: "memory");
    return value * 3 + 1;
}

// The build identifier the test library is linked with.
constexpr char kTestImageBuildId[] = "0123456789abcdef0123456789abcdef01234567";

// A crash-time base unlike the real one: addresses are moved over to where the image is now.
constexpr std::uint64_t kCrashBase = 0x7000'0000'0000;

struct Executable {
    std::string uuid;
    std::uint64_t base = 0;
    std::uint64_t size = 0;
};

Executable thisExecutable(const std::filesystem::path& folder) {
    const std::string path = (folder / "executable.clsrecord").string();
    CRSFile file{};
    EXPECT_TRUE(CRSFileInit(&file, path.c_str(), false));
    CRSBinaryImageRecordMainExecutable(&file);
    CRSFileClose(&file);
    const auto sections = CRSFileReadSections(path.c_str(), false);
    const auto& entry = sections->front()["executable"];
    return {entry["uuid"].get<std::string>(), entry["base"].get<std::uint64_t>(),
            entry["size"].get<std::uint64_t>()};
}

std::uint64_t atCrashTime(const Executable& image, const void* address) {
    return kCrashBase + (reinterpret_cast<std::uint64_t>(address) - image.base);
}

class CRSSymbolResolverTest : public test::IsolatedTest {
  protected:
    void SetUp() override {
        image_ = thisExecutable(root());
        imagesPath_ = (root() / "binary_images.clsrecord").string();
    }

    void writeImages(const std::string& lines) {
        std::ofstream(imagesPath_, std::ios::binary) << lines;
    }

    std::string loadLine(const std::string& uuid, std::uint64_t base, std::uint64_t size) const {
        return nlohmann::json{{"load",
                               {{"path", "/opt/app/bin/the-app"},
                                {"uuid", uuid},
                                {"base", base},
                                {"size", size}}}}
                   .dump() +
               "\n";
    }

    Executable image_;
    std::string imagesPath_;
};

TEST_F(CRSSymbolResolverTest, ResolvesAnAddressOfTheSameImageLoadedElsewhere) {
    writeImages(loadLine(image_.uuid, kCrashBase, image_.size));
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    const auto* start = reinterpret_cast<const char*>(&resolverTarget);

    const auto frame = resolver.frameForAddress(atCrashTime(image_, start + 4));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->address, atCrashTime(image_, start + 4));
    EXPECT_EQ(frame->rawSymbol, frame->symbol);
    EXPECT_EQ(CRSDemangleOperation::demangleSymbol(frame->rawSymbol.c_str()),
              "pex::(anonymous namespace)::resolverTarget(int)");
    EXPECT_EQ(frame->offset, 4u);
    EXPECT_EQ(frame->library, "the-app");
}

// A return address at a function's first byte belongs to the call before it.
TEST_F(CRSSymbolResolverTest, AnAddressAtAFunctionsStartIsLookedUpTwoBytesLower) {
    writeImages(loadLine(image_.uuid, kCrashBase, image_.size));
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    const auto frame = resolver.frameForAddress(
        atCrashTime(image_, reinterpret_cast<const void*>(&resolverTarget)));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->symbol.find("resolverTarget"), std::string::npos) << frame->symbol;
    if (!frame->symbol.empty()) {
        EXPECT_GE(frame->offset, 1u);
    }
    EXPECT_EQ(frame->library, "the-app");
}

// An image whose build identifier matches nothing here keeps the address and its library's
// name; an address in no recorded image keeps neither.
// A thread stopped at a function's first instruction (a stack overflow faults on the first
// push) is in that function; only a return address there belongs to the call before it.
TEST_F(CRSSymbolResolverTest, TheInstructionAThreadStoppedAtIsNotTakenForAReturnAddress) {
    writeImages(loadLine(image_.uuid, kCrashBase, image_.size));
    const std::uint64_t entry = atCrashTime(image_, reinterpret_cast<const void*>(&resolverTarget));
    const std::string crashFile = (root() / "signal.clsrecord").string();
    std::ofstream(crashFile) << nlohmann::json{{"threads",
                                                {{{"registers", {{"rip", entry}}},
                                                  {"crashed", true},
                                                  {"stacktrace", {entry, entry}}},
                                                 {{"registers", {{"rip", 4096}}},
                                                  {"stacktrace", {entry}}}}}}
                                    .dump()
                             << "\n";
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    ASSERT_TRUE(CRSProcessReportOperation::symbolicateFile(crashFile, resolver));
    const auto written = CRSFileReadSections((crashFile + ".symbolicated").c_str(), false);
    ASSERT_TRUE(written && written->size() == 1u);
    const auto& threads = (*written)[0]["threads"];
    ASSERT_EQ(threads.size(), 2u);
    const auto named = [](const nlohmann::json& frame) {
        return frame["symbol"].get<std::string>().find("resolverTarget") != std::string::npos;
    };
    EXPECT_TRUE(named(threads[0][0])) << threads.dump();
    EXPECT_EQ(threads[0][0]["offset"], 0);
    EXPECT_FALSE(named(threads[0][1])) << threads.dump();  // a return address
    EXPECT_FALSE(named(threads[1][0])) << threads.dump();  // not where its registers stopped
}

TEST_F(CRSSymbolResolverTest, UnmatchedImagesKeepTheAddressAndTheRecordedLibrary) {
    writeImages(loadLine(std::string(40, 'f'), kCrashBase, image_.size));
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    const std::uint64_t inside =
        atCrashTime(image_, reinterpret_cast<const char*>(&resolverTarget) + 4);
    const auto unmatched = resolver.frameForAddress(inside);
    ASSERT_TRUE(unmatched.has_value());
    EXPECT_EQ(unmatched->address, inside);
    EXPECT_TRUE(unmatched->symbol.empty());
    EXPECT_EQ(unmatched->offset, 0u);
    EXPECT_EQ(unmatched->library, "the-app");
    for (const std::uint64_t address : {std::uint64_t{0}, kCrashBase - 1}) {
        BCNStackFrame frame = BCNStackFrame::stackFrameWithAddress(address);
        EXPECT_FALSE(resolver.updateStackFrame(frame)) << address;
        EXPECT_TRUE(frame.symbol.empty());
        EXPECT_TRUE(frame.library.empty());
        EXPECT_FALSE(resolver.frameForAddress(address).has_value());
    }
}

// A crash in a library that this process has not loaded: its file at the recorded path is read
// when its build identifier is the recorded one, and only then.
TEST_F(CRSSymbolResolverTest, ReadsANotLoadedLibraryFromItsRecordedPathWhenItsIdentifierMatches) {
    // Where the function lies in the library, taken while it is loaded, as a crash records it.
    void* library = dlopen(CRS_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto* function = static_cast<const char*>(dlsym(library, "crsTestImageFunction"));
    CRSBinaryImageDetails loaded{};
    ASSERT_TRUE(CRSBinaryImageFindImageForUUID(kTestImageBuildId, &loaded));
    const std::uint64_t intoImage =
        reinterpret_cast<std::uint64_t>(function) - loaded.node.baseAddress + 1;
    ASSERT_EQ(dlclose(library), 0);
    ASSERT_EQ(dlopen(CRS_TEST_IMAGE, RTLD_NOW | RTLD_NOLOAD), nullptr);

    const struct {
        const char* uuid;
        const char* symbol;  // empty: not resolved
    } cases[] = {
        {kTestImageBuildId, "crsTestImageFunction"},
        {"00000000000000000000000000000000000000ff", ""},  // the file was replaced since
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.uuid);
        writeImages(nlohmann::json{{"load",
                                    {{"path", CRS_TEST_IMAGE},
                                     {"uuid", c.uuid},
                                     {"base", kCrashBase},
                                     {"size", loaded.node.size}}}}
                        .dump() +
                    "\n");
        CRSSymbolResolver resolver;
        ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
        const auto frame = resolver.frameForAddress(kCrashBase + intoImage);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->symbol, c.symbol);
        EXPECT_EQ(frame->offset, *c.symbol == '\0' ? 0u : 1u);
        EXPECT_EQ(frame->library, std::filesystem::path(CRS_TEST_IMAGE).filename().string());
    }
}

TEST_F(CRSSymbolResolverTest, IgnoresImagesWithoutBaseOrSizeAndSearchesByBase) {
    writeImages(R"({"load":{"uuid":"aa","path":"/x/late","base":8192,"size":8192}})"
                "\n"
                R"({"load":{"uuid":"bb","path":"/x/nobase","size":100000}})"
                "\n"
                R"({"load":{"uuid":"cc","path":"/x/nullsize","base":0,"size":null}})"
                "\n"
                R"({"unload":{"uuid":"dd","base":0,"size":100000}})"
                "\n"
                "not json\n"
                R"({"load":{"uuid":"ee","path":"/x/early","base":4096,"size":8192}})"
                "\n");
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    ASSERT_EQ(resolver.binaryImages().size(), 2u);
    EXPECT_EQ(resolver.binaryImages()[0]["uuid"], "ee");
    EXPECT_EQ(resolver.binaryImages()[1]["uuid"], "aa");
    // Both cover 9000: the lower base is found first.
    EXPECT_EQ((*resolver.loadedBinaryImageForPC(9000))["uuid"], "ee");
    EXPECT_EQ((*resolver.loadedBinaryImageForPC(12288))["uuid"], "aa");
    EXPECT_FALSE(resolver.loadedBinaryImageForPC(100).has_value());
    EXPECT_FALSE(resolver.loadedBinaryImageForPC(8192 + 8192).has_value());
}

TEST_F(CRSSymbolResolverTest, AnUnreadableImageFileLoadsNothing) {
    CRSSymbolResolver resolver;
    EXPECT_FALSE(resolver.loadBinaryImagesFromFile(""));
    EXPECT_FALSE(resolver.loadBinaryImagesFromFile((root() / "missing").string()));
    writeImages("");
    EXPECT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    EXPECT_TRUE(resolver.binaryImages().empty());
}

TEST(CRSDemangleOperationTest, DemanglesCppAndBlockInvokeNames) {
    const struct {
        const char* in;
        std::optional<std::string> out;
    } cases[] = {
        {"_ZN3foo3barEv", "foo::bar()"},
        {"_ZN3foo3barEi", "foo::bar(int)"},
        {"__ZN3foo3barEv_block_invoke", "foo::bar()_block_invoke"},
        {"__ZN3foo3barEv_block_invoke_2", "foo::bar()_block_invoke_2"},
        // The last "_block_invoke" splits the name.
        {"__ZN3foo3barEv_block_invoke_block_invoke_3", std::nullopt},
        {"__ZN3foo3barEv", std::nullopt},
        {"__Z_block_invoke", std::nullopt},
        {"__ZNotMangled_block_invoke", std::nullopt},
        {"_ZNotMangled", std::nullopt},
        {"_main", std::nullopt},
        {"__main_block_invoke", std::nullopt},
        {"main", std::nullopt},
        {"", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in == nullptr ? "(null)" : c.in);
        EXPECT_EQ(CRSDemangleOperation::demangleSymbol(c.in), c.out);
    }
}

// The demangled name replaces the symbol; the mangled one stays as the raw symbol, and only
// then is it written out.
TEST_F(CRSSymbolResolverTest, WritesTheSymbolicatedCompanionOfACrashFile) {
    writeImages(loadLine(image_.uuid, kCrashBase, image_.size));
    const auto* target = reinterpret_cast<const char*>(&resolverTarget);
    const std::uint64_t inside = atCrashTime(image_, target + 4);
    const std::string crashFile = (root() / "signal.clsrecord").string();
    std::ofstream(crashFile) << R"({"signal":{"number":11}})"
                                "\n"
                             << nlohmann::json{{"threads",
                                                {{{"crashed", true},
                                                  {"stacktrace", {inside, 0, 5}}},
                                                 {{"stacktrace", nlohmann::json::array()}}}}}
                                    .dump()
                             << "\n";
    CRSSymbolResolver resolver;
    ASSERT_TRUE(resolver.loadBinaryImagesFromFile(imagesPath_));
    ASSERT_TRUE(CRSProcessReportOperation::symbolicateFile(crashFile, resolver));

    const auto written = CRSFileReadSections((crashFile + ".symbolicated").c_str(), false);
    ASSERT_TRUE(written.has_value());
    ASSERT_EQ(written->size(), 1u);
    const auto& threads = (*written)[0]["threads"];
    ASSERT_EQ(threads.size(), 2u);
    ASSERT_EQ(threads[0].size(), 3u);
    EXPECT_TRUE(threads[1].empty());
    const auto& top = threads[0][0];
    EXPECT_EQ(top["symbol"], "pex::(anonymous namespace)::resolverTarget(int)");
    EXPECT_EQ(top["raw_symbol"].get<std::string>().rfind("_ZN3pex", 0), 0u);
    EXPECT_EQ(top["offset"], 4);
    EXPECT_EQ(top["library"], "the-app");
    // The keys go out in a fixed order.
    std::ifstream in(crashFile + ".symbolicated");
    const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t symbol = line.find("\"symbol\""), raw = line.find("\"raw_symbol\""),
                      offset = line.find("\"offset\""), library = line.find("\"library\"");
    EXPECT_LT(symbol, raw);
    EXPECT_LT(raw, offset);
    EXPECT_LT(offset, library);
    EXPECT_NE(library, std::string::npos);
    for (const auto& unresolved : {threads[0][1], threads[0][2]}) {
        EXPECT_EQ(unresolved["symbol"], "");
        EXPECT_FALSE(unresolved.contains("raw_symbol"));
        EXPECT_EQ(unresolved["offset"], 0);
        EXPECT_EQ(unresolved["library"], "");
    }

    // No crash file, or one without threads: no companion.
    const std::string missing = (root() / "exception.clsrecord").string();
    EXPECT_FALSE(CRSProcessReportOperation::symbolicateFile(missing, resolver));
    EXPECT_FALSE(std::filesystem::exists(missing + ".symbolicated"));
    const std::string empty = (root() / "custom_fatal.clsrecord").string();
    std::ofstream(empty) << R"({"custom":{}})"
                            "\n";
    EXPECT_FALSE(CRSProcessReportOperation::symbolicateFile(empty, resolver));
    EXPECT_FALSE(std::filesystem::exists(empty + ".symbolicated"));
}

}  // namespace
}  // namespace pex
