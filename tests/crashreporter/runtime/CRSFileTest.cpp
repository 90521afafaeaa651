#include "crashreporter/runtime/CRSFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSFileReader.h"

namespace pex {
namespace {

class CRSFileTest : public test::CrashContextTest {
  protected:
    // The bytes a fresh unbuffered record file holds after `body` wrote to it and it closed.
    std::string written(const std::function<void(CRSFile*)>& body) {
        const std::string path = (root() / "out.clsrecord").string();
        CRSFile file;
        EXPECT_TRUE(CRSFileInitWithPathMode(&file, path.c_str(), false, false));
        body(&file);
        EXPECT_TRUE(CRSFileClose(&file));
        return test::fileText(path);
    }
};

struct WriterCase {
    const char* name;
    std::function<void(CRSFile*)> body;
    std::string expected;
};

TEST_F(CRSFileTest, WritesTheRecordSyntaxByteForByte) {
    const WriterCase cases[] = {
        {"section with members, then a second section without a leading comma",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "s");
             CRSFileWriteHashStart(f);
             CRSFileWriteHashEntryUint64(f, "a", 1);
             CRSFileWriteHashEntryString(f, "b", "x");
             CRSFileWriteHashEnd(f);
             CRSFileWriteSectionEnd(f);
             CRSFileWriteSectionStart(f, "t");
             CRSFileWriteArrayStart(f);
             CRSFileWriteArrayEntryUint64(f, 0);
             CRSFileWriteArrayEntryString(f, "y");
             CRSFileWriteArrayEntryString(f, nullptr);
             CRSFileWriteArrayEntryHexEncodedString(f, "z");
             CRSFileWriteArrayEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"s\":{\"a\":1,\"b\":\"x\"}}\n{\"t\":[0,\"y\",null,\"7a\"]}\n"},
        {"null differs from empty, plain and hex",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "s");
             CRSFileWriteHashStart(f);
             CRSFileWriteHashEntryString(f, "n", nullptr);
             CRSFileWriteHashEntryString(f, "e", "");
             CRSFileWriteHashEntryHexEncodedString(f, "hn", nullptr);
             CRSFileWriteHashEntryHexEncodedString(f, "he", "");
             CRSFileWriteHashEntryNSString(f, "on", std::nullopt);
             CRSFileWriteHashEntryNSStringUnlessNilOrEmpty(f, "skipped", std::string());
             CRSFileWriteHashEntryNSStringUnlessNilOrEmpty(f, "kept", std::string("k"));
             CRSFileWriteHashEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"s\":{\"n\":null,\"e\":\"\",\"hn\":null,\"he\":\"\",\"on\":null,\"kept\":\"k\"}}\n"},
        {"integer extremes and booleans",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "n");
             CRSFileWriteHashStart(f);
             CRSFileWriteHashEntryUint64(f, "max", UINT64_MAX);
             CRSFileWriteHashEntryUint64(f, "zero", 0);
             CRSFileWriteHashEntryInt64(f, "min", INT64_MIN);
             CRSFileWriteHashEntryInt64(f, "neg", -1);
             CRSFileWriteHashEntryInt64(f, "pos", INT64_MAX);
             CRSFileWriteHashEntryBoolean(f, "t", true);
             CRSFileWriteHashEntryBoolean(f, "f", false);
             CRSFileWriteHashEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"n\":{\"max\":18446744073709551615,\"zero\":0,\"min\":-9223372036854775808,"
         "\"neg\":-1,\"pos\":9223372036854775807,\"t\":true,\"f\":false}}\n"},
        {"hex strings longer than one scratch area, with quotes and bytes above 0x7f",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "h");
             CRSFileWriteHashStart(f);
             CRSFileWriteHashEntryHexEncodedString(f, "v", "abcdefghijklmnopqrs\"\n\xff");
             CRSFileWriteHashEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"h\":{\"v\":\"6162636465666768696a6b6c6d6e6f70717273220aff\"}}\n"},
        {"nested collections keep their commas",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "threads");
             CRSFileWriteArrayStart(f);
             for (std::uint64_t i = 1; i <= 2; ++i) {
                 CRSFileWriteHashStart(f);
                 CRSFileWriteHashKey(f, "frames");
                 CRSFileWriteArrayStart(f);
                 CRSFileWriteArrayEntryUint64(f, i);
                 CRSFileWriteArrayEntryUint64(f, i * 10);
                 CRSFileWriteArrayEnd(f);
                 CRSFileWriteHashEntryBoolean(f, "crashed", i == 2);
                 CRSFileWriteHashEnd(f);
             }
             CRSFileWriteArrayEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"threads\":[{\"frames\":[1,10],\"crashed\":false},"
         "{\"frames\":[2,20],\"crashed\":true}]}\n"},
        {"plain strings are escaped so the line stays JSON",
         [](CRSFile* f) {
             CRSFileWriteSectionStart(f, "s");
             CRSFileWriteHashStart(f);
             CRSFileWriteHashEntryString(f, "v", "a\"b\\c\n\x01\x7f\xff\xc3(\xe4\xb8\xad");
             CRSFileWriteHashEnd(f);
             CRSFileWriteSectionEnd(f);
         },
         "{\"s\":{\"v\":\"a\\\"b\\\\c\\u000a\\u0001\x7f\xef\xbf\xbd\xef\xbf\xbd(\xe4\xb8\xad\"}}"
         "\n"},
        {"text already in record syntax is written as it is",
         [](CRSFile* f) { CRSFileWriteStringUnquoted(f, "{\"raw\":[1]}\n"); }, "{\"raw\":[1]}\n"},
    };
    for (const WriterCase& c : cases) {
        EXPECT_EQ(written(c.body), c.expected) << c.name;
    }
}

TEST_F(CRSFileTest, EscapedStringsReadBackAsTheirText) {
    const char* texts[] = {"quote \" and \\ back", "line\nbreak\ttab\x1f", "中文 text", ""};
    for (const char* text : texts) {
        const std::string line = written([&](CRSFile* f) {
            CRSFileWriteSectionStart(f, "s");
            CRSFileWriteHashStart(f);
            CRSFileWriteHashEntryString(f, "v", text);
            CRSFileWriteHashEnd(f);
            CRSFileWriteSectionEnd(f);
        });
        const auto sections = CRSFileParseSections(line);
        ASSERT_EQ(sections.size(), 1u) << line;
        EXPECT_EQ(sections[0]["s"]["v"], text);
    }
}

TEST_F(CRSFileTest, BufferedWritesGoOutInPiecesOf999Bytes) {
    const std::string path = (root() / "buffered.clsrecord").string();
    CRSFile file;
    ASSERT_TRUE(CRSFileInitWithPathMode(&file, path.c_str(), false, true));
    const std::string payload(2500, 'p');
    CRSFileWriteStringUnquoted(&file, payload.c_str());
    EXPECT_EQ(std::filesystem::file_size(path), 1998u);
    EXPECT_EQ(file.bytesWritten, 1998u);
    EXPECT_EQ(file.writeBufferLength, 502u);

    CRSFileFlushWriteBuffer(&file);
    EXPECT_EQ(std::filesystem::file_size(path), 2500u);
    CRSFileWriteStringUnquoted(&file, "tail");
    EXPECT_EQ(std::filesystem::file_size(path), 2500u);

    std::uint64_t finalSize = 0;
    ASSERT_TRUE(CRSFileCloseWithOffset(&file, &finalSize));
    EXPECT_EQ(finalSize, 2504u);
    EXPECT_EQ(test::fileText(path), payload + "tail");
    EXPECT_FALSE(CRSFileIsOpen(&file));
}

TEST_F(CRSFileTest, AppendingCountsTheExistingSizeAndTruncatingStartsOver) {
    const std::string path = (root() / "append.clsrecord").string();
    CRSFile file;
    ASSERT_TRUE(CRSFileInit(&file, path.c_str(), false));
    EXPECT_EQ(file.bytesWritten, 0u);
    CRSFileWriteStringUnquoted(&file, "first\n");
    ASSERT_TRUE(CRSFileClose(&file));

    ASSERT_TRUE(CRSFileInit(&file, path.c_str(), true));
    EXPECT_EQ(file.bytesWritten, 6u);
    CRSFileWriteStringUnquoted(&file, "second\n");
    std::uint64_t finalSize = 0;
    ASSERT_TRUE(CRSFileCloseWithOffset(&file, &finalSize));
    EXPECT_EQ(finalSize, 13u);
    EXPECT_EQ(test::fileText(path), "first\nsecond\n");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    ASSERT_TRUE(CRSFileInitWithPathMode(&file, path.c_str(), false, false));
    EXPECT_EQ(file.bytesWritten, 0u);
    ASSERT_TRUE(CRSFileClose(&file));
    EXPECT_EQ(test::fileText(path), "");
}

TEST_F(CRSFileTest, RefusesMissingFilesAndPathsWithALogLine) {
    CRSFile file;
    EXPECT_FALSE(CRSFileInit(nullptr, "/tmp/x", false));
    EXPECT_FALSE(CRSFileInit(&file, nullptr, false));
    const std::string unreachable = (root() / "missing" / "x.clsrecord").string();
    EXPECT_FALSE(CRSFileInit(&file, unreachable.c_str(), false));
    EXPECT_FALSE(CRSFileIsOpen(&file));
    EXPECT_FALSE(CRSFileIsOpen(nullptr));
    const std::string log = sdkLog();
    EXPECT_NE(log.find("Error: file is null\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Error: Unable to open file ENOENT\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Error: file descriptor invalid\n"), std::string::npos) << log;
}

std::atomic<int> interruptions{0};
void countInterruption(int) {
    interruptions.fetch_add(1);
}

char threadState(pid_t tid) {
    const std::string stat = test::fileText("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

TEST_F(CRSFileTest, RetriesAWriteInterruptedByASignal) {
    const std::string fifo = (root() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    CRSFile file;
    ASSERT_TRUE(CRSFileInitWithPathMode(&file, fifo.c_str(), true, false));

    // Fill the pipe so the next write blocks.
    const int filler = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(filler, 0);
    std::size_t filled = 0;
    const std::string block(4096, 'f');
    for (ssize_t n; (n = write(filler, block.data(), block.size())) > 0;) filled += n;
    close(filler);

    struct sigaction action {};
    action.sa_handler = countInterruption;  // no SA_RESTART: the blocked write fails with EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    const std::string payload(100, 'w');
    std::atomic<pid_t> writerTid{0};
    std::atomic<bool> writerDone{false};
    std::thread writer([&] {
        writerTid = gettid();
        CRSFileWriteStringUnquoted(&file, payload.c_str());
        writerDone = true;
    });
    while (writerTid == 0 || threadState(writerTid) != 'S') std::this_thread::yield();
    pthread_kill(writer.native_handle(), SIGUSR1);
    while (interruptions == 0) std::this_thread::yield();

    std::string drained;
    char chunk[4096];
    while (drained.size() < filled + payload.size()) {
        const ssize_t n = read(reader, chunk, sizeof chunk);
        if (n > 0) drained.append(chunk, static_cast<std::size_t>(n));
        if (n > 0) continue;
        if (writerDone) break;  // gave up: the rest will never come
        std::this_thread::yield();
    }
    writer.join();
    sigaction(SIGUSR1, &previous, nullptr);
    close(reader);

    EXPECT_EQ(file.bytesWritten, payload.size());
    EXPECT_EQ(drained.substr(std::min(filled, drained.size())), payload);
    CRSFileClose(&file);
}

}  // namespace
}  // namespace pex
