// Whole-file reads of what a user's folder may hold in place of the file: something that is
// not a regular file is refused without waiting, and a file beyond the reader's limit is
// refused without being read whole.
#include "platform/foundation/AtomicFile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

class AtomicFileRead : public ::testing::Test {
  protected:
    const fs::path& folder() const { return dir_.path(); }
    fs::path path(const std::string& name) const { return folder() / name; }

  private:
    test::TempDir dir_;
};

TEST_F(AtomicFileRead, OnlyARegularFileIsReadAndAFifoIsRefusedWithoutWaiting) {
    const fs::path fifo = path("fifo");
    ASSERT_TRUE(test::makeFifo(fifo));
    std::error_code error;
    std::optional<std::string> content;
    EXPECT_TRUE(test::finishesWithoutAWriter(fifo, [&] {
        content = AtomicFile::read(fifo, error);
    })) << "reading a FIFO waited for a writer";
    EXPECT_FALSE(content);
    EXPECT_EQ(error, std::errc::invalid_argument);

    EXPECT_FALSE(AtomicFile::read(folder(), error));
    EXPECT_EQ(error, std::errc::is_a_directory);
    EXPECT_FALSE(AtomicFile::read("/dev/zero", error));  // a device reads for ever
    EXPECT_EQ(error, std::errc::invalid_argument);
    EXPECT_FALSE(AtomicFile::read(path("missing"), error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST_F(AtomicFileRead, AFileBeyondTheLimitIsRefusedAndOneWithinItIsReadWhole) {
    struct Case {
        std::string content;
        std::size_t limit;
        bool read;
    };
    const Case cases[] = {
        {"", 0, true},
        {"0123456789", 10, true},
        {"0123456789", 9, false},
        {std::string(200 * 1024, 'x'), 200 * 1024, true},  // several reads' worth
        {std::string(200 * 1024 + 1, 'x'), 200 * 1024, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.content.size()) + " bytes, limit " + std::to_string(c.limit));
        std::ofstream(path("file"), std::ios::binary | std::ios::trunc) << c.content;
        std::error_code error;
        const auto content = AtomicFile::read(path("file"), error, c.limit);
        if (c.read) {
            EXPECT_EQ(content, c.content);
            EXPECT_FALSE(error);
        } else {
            EXPECT_FALSE(content);
            EXPECT_EQ(error, std::errc::file_too_large);
        }
    }
}

TEST_F(AtomicFileRead, AHugeSparseFileIsRefusedWithoutReadingIt) {
    const fs::path huge = path("huge");
    ASSERT_TRUE(test::makeSparseFile(huge, std::uint64_t{1} << 30));
    const std::uint64_t before = test::bytesReadByProcess();
    std::error_code error;
    EXPECT_FALSE(AtomicFile::read(huge, error));  // the default limit
    EXPECT_EQ(error, std::errc::file_too_large);
    EXPECT_LE(test::bytesReadByProcess() - before, AtomicFile::kDefaultReadLimit + 1);
}

}  // namespace
}  // namespace pex
