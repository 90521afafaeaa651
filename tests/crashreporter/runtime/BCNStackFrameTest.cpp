#include "crashreporter/BCNStackFrame.h"

#include <gtest/gtest.h>

#include "crashreporter/BCNExceptionModel.h"

namespace pex {
namespace {

TEST(BCNStackFrameTest, DescribesEachKindOfFrame) {
    struct Case {
        const char* name;
        BCNStackFrame frame;
        const char* description;
    };
    BCNStackFrame withFile = BCNStackFrame::stackFrameWithAddress(0x1f00);
    withFile.fileName = "main.py";
    withFile.symbol = "run";
    withFile.lineNumber = 12;
    const Case cases[] = {
        {"symbolicated", BCNStackFrame::stackFrameWithSymbol("run", "main.py", 12),
         "{main.py - run:12}"},
        {"address and file", withFile, "{[0x1f00] main.py - run:12}"},
        // A symbol alone is not symbolicated: it is shown beside the address.
        {"symbol only", BCNStackFrame::stackFrameWithSymbol("_start"), "{[0x0 + 0] _start}"},
        {"address only", BCNStackFrame::stackFrameWithAddress(0xabc), "{[0xabc + 0] }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.frame.description(), c.description);
    }
    const BCNStackFrame symbolOnly = BCNStackFrame::stackFrameWithSymbol("_start");
    EXPECT_FALSE(symbolOnly.isSymbolicated);
    EXPECT_EQ(symbolOnly.rawSymbol, "_start");
}

TEST(BCNExceptionModelTest, StartsNonFatalWithoutAStack) {
    const auto model = BCNExceptionModel::exceptionModelWithName("ValueError", "bad input");
    EXPECT_EQ(model.name, "ValueError");
    EXPECT_EQ(model.reason, "bad input");
    EXPECT_FALSE(model.isFatal);
    EXPECT_FALSE(model.onDemand);
    EXPECT_TRUE(model.stackTrace.empty());
}

}  // namespace
}  // namespace pex
