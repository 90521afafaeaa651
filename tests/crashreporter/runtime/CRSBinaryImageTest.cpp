#include "crashreporter/runtime/CRSBinaryImage.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "CrashChildRunner.h"
#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

constexpr char kTestImageBuildId[] = "0123456789abcdef0123456789abcdef01234567";

__attribute__((noinline)) int functionInTheMainProgram() {
    return 42;
}

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

class CRSBinaryImageTest : public test::CrashContextTest {
  protected:
    void SetUp() override {
        test::CrashContextTest::SetUp();
        CRSBinaryImageInit();
        waitForQueue();
        CRSContextCompleteInitialization();
    }

    static void waitForQueue() {
        CRSBinaryImageQueue().sync([] {});
    }

    void rescan() {
        CRSBinaryImageRescan();
        waitForQueue();
    }

    std::vector<nlohmann::json> records() {
        return CRSFileReadSections((root() / "binary_images.clsrecord").c_str(), false)
            .value_or(std::vector<nlohmann::json>{});
    }

    // The last record of `kind` for `path`.
    std::optional<nlohmann::json> lastRecord(const char* kind, const std::string& path) {
        std::optional<nlohmann::json> found;
        for (const nlohmann::json& record : records()) {
            if (record.contains(kind) && record[kind]["path"] == path) found = record[kind];
        }
        return found;
    }
};

TEST_F(CRSBinaryImageTest, RecordsTheMainProgramFirstUnderItsOwnPath) {
    const auto all = records();
    ASSERT_FALSE(all.empty());
    ASSERT_TRUE(all.front().contains("load"));
    const nlohmann::json& main = all.front()["load"];
    EXPECT_EQ(main["path"], std::filesystem::read_symlink("/proc/self/exe").string());
    const auto function = address(reinterpret_cast<const void*>(&functionInTheMainProgram));
    EXPECT_LE(main["base"].get<std::uint64_t>(), function);
    EXPECT_GT(main["base"].get<std::uint64_t>() + main["size"].get<std::uint64_t>(), function);
    EXPECT_EQ(main["uuid"].get<std::string>().size(), 40u);  // the linker's SHA-1 build id

    CRSBinaryImageRuntimeNode node{};
    ASSERT_TRUE(CRSBinaryImageSafeFindImageForAddress(function, &node));
    EXPECT_EQ(node.baseAddress, main["base"].get<std::uint64_t>());
    EXPECT_NE(node.ehFrame, 0u);
    EXPECT_FALSE(CRSBinaryImageHasUnwindInfo(node));  // no compact unwind table in ELF images
}

TEST_F(CRSBinaryImageTest, FollowsALibraryThroughLoadAndUnload) {
    void* library = dlopen(CRS_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto function = address(dlsym(library, "crsTestImageFunction"));
    ASSERT_NE(function, 0u);

    // Loaded after the last scan: found at crash time through the loader's object list.
    CRSBinaryImageRuntimeNode fromLinkMap{};
    ASSERT_TRUE(CRSBinaryImageSafeFindImageForAddress(function, &fromLinkMap));
    EXPECT_NE(fromLinkMap.ehFrame, 0u);
    EXPECT_FALSE(lastRecord("load", CRS_TEST_IMAGE));

    rescan();
    const auto load = lastRecord("load", CRS_TEST_IMAGE);
    ASSERT_TRUE(load);
    EXPECT_EQ((*load)["uuid"], kTestImageBuildId);
    const auto base = (*load)["base"].get<std::uint64_t>();
    const auto size = (*load)["size"].get<std::uint64_t>();
    EXPECT_LE(base, function);
    EXPECT_LT(function, base + size);

    CRSBinaryImageRuntimeNode fromTable{};
    ASSERT_TRUE(CRSBinaryImageSafeFindImageForAddress(function, &fromTable));
    EXPECT_EQ(fromTable.baseAddress, base);
    EXPECT_EQ(fromTable.size, size);
    EXPECT_EQ(fromTable.ehFrame, fromLinkMap.ehFrame);
    EXPECT_EQ(fromLinkMap.baseAddress, base);

    CRSBinaryImageDetails details{};
    ASSERT_TRUE(CRSBinaryImageFindImageForUUID(kTestImageBuildId, &details));
    EXPECT_EQ(details.path, CRS_TEST_IMAGE);
    EXPECT_EQ(details.node.baseAddress, base);

    // A second rescan with nothing changed records nothing more.
    const std::size_t recordCount = records().size();
    rescan();
    EXPECT_EQ(records().size(), recordCount);

    ASSERT_EQ(dlclose(library), 0);
    rescan();
    const auto unload = lastRecord("unload", CRS_TEST_IMAGE);
    ASSERT_TRUE(unload);
    EXPECT_EQ((*unload)["uuid"], kTestImageBuildId);
    EXPECT_EQ((*unload)["base"], base);
    EXPECT_FALSE(CRSBinaryImageSafeFindImageForAddress(function, &fromTable));
    EXPECT_FALSE(CRSBinaryImageFindImageForUUID(kTestImageBuildId, &details));
}

// Nobody tells the watcher of a load: it sees the loader's counts move at its next check.
TEST_F(CRSBinaryImageTest, TheWatcherRecordsLoadsAndUnloadsAtItsNextCheck) {
    ScopedManualClock manual;
    const auto check = [&] {
        manual.clock().advance(kCRSBinaryImageWatchInterval);
        waitForQueue();
    };
    const auto loadCount = [&] {
        std::size_t count = 0;
        for (const nlohmann::json& record : records()) {
            if (record.contains("load") && record["load"]["path"] == CRS_TEST_IMAGE) ++count;
        }
        return count;
    };
    CRSBinaryImageStartWatching();
    void* library = dlopen(CRS_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    waitForQueue();
    EXPECT_EQ(loadCount(), 0u);  // not before the check is due

    check();
    const auto load = lastRecord("load", CRS_TEST_IMAGE);
    ASSERT_TRUE(load);
    EXPECT_EQ((*load)["uuid"], kTestImageBuildId);
    const std::size_t recordCount = records().size();
    check();  // nothing changed since
    EXPECT_EQ(records().size(), recordCount);

    ASSERT_EQ(dlclose(library), 0);
    check();
    EXPECT_TRUE(lastRecord("unload", CRS_TEST_IMAGE));

    // A stopped watcher checks no more; a loader of the product's own still asks for a check.
    CRSBinaryImageStopWatching();
    library = dlopen(CRS_TEST_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    check();
    EXPECT_EQ(loadCount(), 1u);
    CRSBinaryImageRescanIfLoaderChanged();
    EXPECT_EQ(loadCount(), 2u);  // recorded before the call returns
    ASSERT_EQ(dlclose(library), 0);
}

// A real process loads a library after crash reporting started and crashes inside it.
TEST_F(CRSBinaryImageTest, ALibraryLoadedAfterStartUpIsInTheCrashRecord) {
#if defined(__SANITIZE_THREAD__)
    // The thread sanitizer takes the child's fault itself before crash reporting sees it.
    GTEST_SKIP() << "a crashing child is not recorded under ThreadSanitizer";
#endif
    const std::filesystem::path report = root() / "late-library";
    std::filesystem::create_directories(report);
    const ChildResult crashed = runChild(report, "late-library", "crash");
    ASSERT_EQ(crashed.signal, SIGSEGV) << crashed.exitCode << crashed.err;

    std::optional<nlohmann::json> load;
    for (const auto& entry : sectionsNamed(sections(report / kCRSBinaryImagesFileName), "load")) {
        if (entry["path"] == CRS_TEST_IMAGE) load = entry;
    }
    ASSERT_TRUE(load) << test::fileText(report / kCRSBinaryImagesFileName);
    EXPECT_EQ((*load)["uuid"], kTestImageBuildId);

    const auto threads = sectionsNamed(sections(report / "signal.clsrecord"), "threads");
    ASSERT_EQ(threads.size(), 1u);
    std::optional<std::uint64_t> top;
    for (const auto& thread : threads[0]) {
        if (thread.value("crashed", false) && !thread["stacktrace"].empty()) {
            top = thread["stacktrace"][0].get<std::uint64_t>();
        }
    }
    ASSERT_TRUE(top);
    const auto base = (*load)["base"].get<std::uint64_t>();
    EXPECT_GE(*top, base);
    EXPECT_LT(*top, base + (*load)["size"].get<std::uint64_t>());

    // The next launch has not loaded the library: its recorded file names the frame.
    ASSERT_EQ(runChild(report, "late-library", "next").exitCode, 0);
    const auto resolved =
        sectionsNamed(sections(report / "signal.clsrecord.symbolicated"), "threads");
    ASSERT_EQ(resolved.size(), 1u);
    bool named = false;
    for (const auto& frames : resolved[0]) {
        if (frames.empty() || frames[0]["symbol"] != "crsTestImageCrash") continue;
        named = true;
        EXPECT_EQ(frames[0]["library"], std::filesystem::path(CRS_TEST_IMAGE).filename().string());
    }
    EXPECT_TRUE(named) << resolved[0].dump();
}

TEST_F(CRSBinaryImageTest, AnswersNothingForUnknownAddressesAndIdentifiers) {
    CRSBinaryImageRuntimeNode node{};
    EXPECT_FALSE(CRSBinaryImageSafeFindImageForAddress(16, &node));
    std::vector<char> heap(64);
    EXPECT_FALSE(CRSBinaryImageSafeFindImageForAddress(address(heap.data()), &node));
    CRSBinaryImageDetails details{};
    EXPECT_FALSE(
        CRSBinaryImageFindImageForUUID("ffffffffffffffffffffffffffffffffffffffff", &details));
    EXPECT_FALSE(CRSBinaryImageFindImageForUUID(nullptr, &details));
}

TEST(CRSBinaryImageWithoutContextTest, FindsNothingBeforeTheContextIsInitialized) {
    ASSERT_TRUE(CRSContextAllocate());
    CRSBinaryImageRuntimeNode node{};
    EXPECT_FALSE(CRSBinaryImageSafeFindImageForAddress(
        address(reinterpret_cast<const void*>(&functionInTheMainProgram)), &node));
}

}  // namespace
}  // namespace pex
