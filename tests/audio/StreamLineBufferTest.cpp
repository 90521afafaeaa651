// Cutting a byte stream into lines, however it is cut into chunks.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/StreamLineBuffer.h"

namespace pex {
namespace {

std::vector<std::string> linesOf(StreamLineBuffer& buffer) {
    std::vector<std::string> lines;
    while (const auto line = buffer.nextLine()) lines.emplace_back(*line);
    return lines;
}

TEST(StreamLineBuffer, EveryChunkSizeGivesTheSameLines) {
    const std::string stream = "alpha\n\nbeta gamma\ndelta\nrest";
    for (std::size_t size : {1u, 2u, 3u, 7u, 64u}) {
        SCOPED_TRACE(size);
        StreamLineBuffer buffer;
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < stream.size(); at += size) {
            buffer.append(std::string_view(stream).substr(at, size));
            for (auto& line : linesOf(buffer)) lines.push_back(line);
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"alpha", "", "beta gamma", "delta"}));
        EXPECT_EQ(buffer.takeRemainder(), "rest");
        EXPECT_EQ(buffer.pendingSize(), 0u);
    }
}

TEST(StreamLineBuffer, AnOverlongLineIsDroppedUpToItsEnd) {
    StreamLineBuffer buffer(8);
    buffer.append("short\n0123456789");  // already too long, no LF yet
    EXPECT_EQ(linesOf(buffer), std::vector<std::string>{"short"});
    EXPECT_LE(buffer.pendingSize(), 8u);
    buffer.append("abcdefghij");
    EXPECT_TRUE(linesOf(buffer).empty());
    buffer.append("tail\nnext\n0123456789ab\nlast");
    EXPECT_EQ(linesOf(buffer), std::vector<std::string>{"next"});
    EXPECT_EQ(buffer.takeRemainder(), "last");

    StreamLineBuffer unfinished(4);
    unfinished.append("0123456789");
    EXPECT_TRUE(linesOf(unfinished).empty());
    EXPECT_EQ(unfinished.takeRemainder(), "");
}

}  // namespace
}  // namespace pex
