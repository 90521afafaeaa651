#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "CallFrameBytes.h"
#include "crashreporter/unwind/CRSDwarfCFI.h"
#include "crashreporter/unwind/CRSDwarfExpression.h"
#include "crashreporter/unwind/CRSDwarfUnwind.h"
#include "crashreporter/unwind/CRSEhFrameHeader.h"

namespace pex {
namespace {

using test::CallFrameBytes;

constexpr std::uint64_t kFunction = 0x400000;  // a made-up function start, 16-byte aligned
constexpr std::uint64_t kReturnAddress = 0x500123;
constexpr std::uint64_t kSavedRbp = 0x7000;

// A small stack: the return address and a saved frame pointer where the rules put them.
struct FakeStack {
    std::uint64_t words[16] = {};
    std::uint64_t at(int index) const { return reinterpret_cast<std::uint64_t>(&words[index]); }
};

struct StepCase {
    const char* name;
    std::uint64_t pcOffset;
    int spIndex;          // the frame's stack pointer, as an index into the fake stack
    int returnIndex;      // where the return address is
    int savedRbpIndex;    // where the caller's rbp is saved, -1 when it is not
    int expectedSpIndex;  // the caller's stack pointer
    bool useFramePointer = false;
};

CRSDwarfStepResult runStep(const CallFrameBytes& bytes, std::size_t fde, std::uint64_t pc,
                           CRSThreadContext* registers) {
    CRSDwarfCFIRecord record;
    if (!CRSDwarfParseCFIFromFDERecord(&record, bytes.address(fde), bytes.section())) {
        return CRSDwarfStepResult::failed;
    }
    return CRSDwarfUnwindComputeRegisters(record, bytes.section(), pc, registers);
}

void expectSteps(const CallFrameBytes& bytes, std::size_t fde, const std::vector<StepCase>& cases) {
    for (const StepCase& c : cases) {
        FakeStack stack;
        stack.words[c.returnIndex] = kReturnAddress;
        if (c.savedRbpIndex >= 0) stack.words[c.savedRbpIndex] = kSavedRbp;
        CRSThreadContext registers{};
        registers.rsp = stack.at(c.spIndex);
        registers.rbp = c.useFramePointer ? stack.at(c.spIndex) : 0x1234;
        registers.rip = kFunction + c.pcOffset;
        ASSERT_EQ(runStep(bytes, fde, kFunction + c.pcOffset, &registers),
                  CRSDwarfStepResult::stepped)
            << c.name;
        EXPECT_EQ(registers.rip, kReturnAddress) << c.name;
        EXPECT_EQ(registers.rsp, stack.at(c.expectedSpIndex)) << c.name;
        EXPECT_EQ(registers.rbp, c.savedRbpIndex >= 0 ? kSavedRbp : 0x1234) << c.name;
    }
}

TEST(CRSDwarfCFITest, AppliesEveryRowStartingAtOrBeforeThePC) {
    // push rbp; mov rbp, rsp; ...: the rows at offsets 0, 1 and 4.
    CallFrameBytes bytes;
    const std::size_t cie = bytes.standardCIE();
    const std::size_t fde = bytes.fde(cie, kFunction, 64,
                                      {0x41, 0x0E, 0x10, 0x86, 0x02,  // @1: cfa rsp+16, rbp at -16
                                       0x43, 0x0D, 0x06});            // @4: cfa rbp+16
    expectSteps(bytes, fde,
                {
                    {"at the push: return address on top", 0, 4, 4, -1, 5},
                    {"right after the push: cfa = rsp + 16", 1, 3, 4, 3, 5},
                    {"inside the prologue", 3, 3, 4, 3, 5},
                    {"after mov rbp, rsp: cfa from rbp", 4, 3, 4, 3, 5, true},
                    {"deep in the body", 40, 3, 4, 3, 5, true},
                });
}

TEST(CRSDwarfCFITest, RemembersAndRestoresStateAroundAnEarlyReturn) {
    CallFrameBytes bytes;
    const std::size_t cie = bytes.standardCIE();
    const std::size_t fde = bytes.fde(cie, kFunction, 64,
                                      {0x41, 0x0E, 0x10, 0x86, 0x02,  // @1: push rbp
                                       0x0A,                          // remember
                                       0x42, 0x0E, 0x08, 0xC6,        // @3: pop rbp; cfa rsp+8
                                       0x41, 0x0B});                  // @4: restore (after ret)
    expectSteps(bytes, fde,
                {
                    {"before the epilogue", 2, 3, 4, 3, 5},
                    {"after pop rbp", 3, 4, 4, -1, 5},
                    {"after the return, the remembered row", 4, 3, 4, 3, 5},
                });
}

TEST(CRSDwarfCFITest, AnUndefinedReturnAddressEndsTheStack) {
    CallFrameBytes bytes;
    const std::size_t cie = bytes.standardCIE();
    const std::size_t fde = bytes.fde(cie, kFunction, 16, {0x07, 0x10});
    CRSThreadContext registers{};
    FakeStack stack;
    registers.rsp = stack.at(4);
    registers.rip = kFunction + 2;
    const CRSThreadContext before = registers;
    EXPECT_EQ(runStep(bytes, fde, registers.rip, &registers), CRSDwarfStepResult::endOfStack);
    EXPECT_EQ(registers.rip, before.rip);

    // A rule set that never mentions the return address cannot step.
    CallFrameBytes unchanged;
    const std::size_t bareCIE = unchanged.cie("zR", {0x00}, {0x0C, 0x07, 0x08});
    const std::size_t bareFDE = unchanged.fde(bareCIE, kFunction, 16, {});
    EXPECT_EQ(runStep(unchanged, bareFDE, kFunction, &registers), CRSDwarfStepResult::failed);
}

TEST(CRSDwarfCFITest, ComputesAProcedureLinkageTableCFA) {
    // The linker's CFA for a PLT: rsp + 8, plus 8 more once past the entry's push (offset 11
    // of each 16-byte entry).
    CallFrameBytes bytes;
    const std::size_t cie = bytes.standardCIE();
    const std::size_t fde =
        bytes.fde(cie, kFunction, 64,
                  {0x0E, 0x10, 0x46, 0x0E, 0x18, 0x4A,  // the PLT header rows
                   0x0F, 0x0B, 0x77, 0x08, 0x80, 0x00, 0x3F, 0x1A, 0x3B, 0x2A, 0x33, 0x24, 0x22});
    expectSteps(bytes, fde,
                {
                    {"entry before its push", 16 + 3, 4, 4, -1, 5},
                    {"entry after its push", 16 + 12, 3, 4, -1, 5},
                    {"second entry after its push", 32 + 11, 3, 4, -1, 5},
                });
}

TEST(CRSDwarfCFITest, ParsesAugmentationsAndRefusesUnknownOnes) {
    CallFrameBytes bytes;
    std::vector<std::uint8_t> data = {0x00};  // P: absolute personality
    for (int i = 0; i < 8; ++i) data.push_back(i == 0 ? 0x88 : 0);
    data.insert(data.end(), {0x1B, 0x1B});  // L, R: pc-relative signed 4 bytes
    const std::size_t full = bytes.cie("zPLRS", data, {0x0C, 0x07, 0x08});
    const std::size_t old = bytes.cie("eh", {}, {});
    const std::size_t unknown = bytes.cie("zX", {0x00}, {});
    const std::size_t empty = bytes.cie("", {}, {0x0C, 0x07, 0x08});

    CRSDwarfCIERecord cie;
    ASSERT_TRUE(CRSDwarfParseCIERecord(&cie, bytes.address(full), bytes.section()));
    EXPECT_EQ(cie.personalityEncoding, 0x00);
    EXPECT_EQ(cie.personalityFunction, 0x88u);
    EXPECT_EQ(cie.lsdaEncoding, 0x1B);
    EXPECT_EQ(cie.pointerEncoding, 0x1B);
    EXPECT_TRUE(cie.signalFrame);
    EXPECT_EQ(cie.dataAlignFactor, -8);
    EXPECT_EQ(cie.returnAddressRegister, 16u);
    EXPECT_EQ(cie.instructionsEnd - cie.instructionsStart, 3u);

    EXPECT_FALSE(CRSDwarfParseCIERecord(&cie, bytes.address(old), bytes.section()));
    EXPECT_FALSE(CRSDwarfParseCIERecord(&cie, bytes.address(unknown), bytes.section()));
    ASSERT_TRUE(CRSDwarfParseCIERecord(&cie, bytes.address(empty), bytes.section()));
    EXPECT_FALSE(cie.hasAugmentationData);
    EXPECT_FALSE(cie.signalFrame);
}

TEST(CRSDwarfCFITest, ReadsStayInsideTheSection) {
    CallFrameBytes bytes;
    const std::size_t cie = bytes.standardCIE();
    const std::size_t fde = bytes.fde(cie, kFunction, 16, {0x41});
    CRSDwarfCFIRecord record;
    ASSERT_TRUE(CRSDwarfParseCFIFromFDERecord(&record, bytes.address(fde), bytes.section()));

    // The same bytes with the section ending one byte early.
    CRSDwarfSection cut = bytes.section();
    cut.end -= 1;
    EXPECT_FALSE(CRSDwarfParseCFIFromFDERecord(&record, bytes.address(fde), cut));
    // A CIE pointer that leads before the section.
    CRSDwarfSection late = bytes.section();
    late.start = bytes.address(cie + 4);
    EXPECT_FALSE(CRSDwarfParseCFIFromFDERecord(&record, bytes.address(fde), late));
    // A length far past the end, and the 64-bit length escape with a huge length.
    CallFrameBytes huge;
    huge.u32(0x7FFFFFF0).u32(0).u8({1, 0});
    EXPECT_FALSE(CRSDwarfParseCIERecord(&record.cie, huge.address(), huge.section()));
    CallFrameBytes escaped;
    escaped.u32(0xFFFFFFFF).u64(~std::uint64_t{0} - 4).u32(0);
    EXPECT_FALSE(CRSDwarfParseCIERecord(&record.cie, escaped.address(), escaped.section()));
    // An augmentation string without its terminator before the record's end.
    CallFrameBytes unterminated;
    unterminated.u32(6).u32(0).u8({1, 'z'});
    EXPECT_FALSE(
        CRSDwarfParseCIERecord(&record.cie, unterminated.address(), unterminated.section()));
}

TEST(CRSDwarfCFITest, ReadsLEB128OfAtMostTenBytes) {
    CallFrameBytes bytes;
    bytes.u8({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});
    CRSDwarfCursor cursor = CRSDwarfCursorMake(bytes.address(), bytes.address(bytes.size()));
    EXPECT_EQ(CRSParseULEB128AndAdvance(&cursor), ~std::uint64_t{0});
    EXPECT_FALSE(cursor.failed);

    CallFrameBytes negative;
    negative.sleb(INT64_MIN).sleb(-129).sleb(63).sleb(-1);
    cursor = CRSDwarfCursorMake(negative.address(), negative.address(negative.size()));
    EXPECT_EQ(CRSParseLEB128AndAdvance(&cursor), INT64_MIN);
    EXPECT_EQ(CRSParseLEB128AndAdvance(&cursor), -129);
    EXPECT_EQ(CRSParseLEB128AndAdvance(&cursor), 63);
    EXPECT_EQ(CRSParseLEB128AndAdvance(&cursor), -1);

    CallFrameBytes tooLong;
    tooLong.u8({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
    cursor = CRSDwarfCursorMake(tooLong.address(), tooLong.address(tooLong.size()));
    CRSParseULEB128AndAdvance(&cursor);
    EXPECT_TRUE(cursor.failed);
}

std::uintptr_t expression(CallFrameBytes& bytes, const std::vector<std::uint8_t>& ops) {
    const std::size_t at = bytes.size();
    bytes.uleb(ops.size()).raw(ops);
    return bytes.address(at);
}

TEST(CRSDwarfExpressionTest, EvaluatesTheStackMachine) {
    CallFrameBytes bytes;
    CRSThreadContext registers{};
    registers.rsp = 0x1000;
    std::uint64_t value = 0;
    const std::uintptr_t swap = expression(bytes, {0x35, 0x33, 0x16});
    const std::uintptr_t notEqual = expression(bytes, {0x34, 0x34, 0x2E});
    const std::uintptr_t breg = expression(bytes, {0x77, 0x10, 0x23, 0x05});  // rsp + 16 + 5
    const std::uintptr_t unknown = expression(bytes, {0x35, 0xE0});
    const std::uintptr_t badRegister = expression(bytes, {0x85, 0x00});
    EXPECT_TRUE(CRSDwarfEvaluateExpression(swap, bytes.section(), &registers, 0, &value));
    EXPECT_EQ(value, 5u);
    EXPECT_TRUE(CRSDwarfEvaluateExpression(notEqual, bytes.section(), &registers, 0, &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(CRSDwarfEvaluateExpression(breg, bytes.section(), &registers, 0, &value));
    EXPECT_EQ(value, 0x1015u);
    EXPECT_FALSE(CRSDwarfEvaluateExpression(unknown, bytes.section(), &registers, 0, &value));
    EXPECT_FALSE(CRSDwarfEvaluateExpression(badRegister, bytes.section(), &registers, 0, &value));

    // Dereferencing memory that is not readable fails instead of faulting.
    const std::uintptr_t deref = expression(bytes, {0x06});
    EXPECT_FALSE(CRSDwarfEvaluateExpression(deref, bytes.section(), &registers, 8, &value));
}

TEST(CRSDwarfExpressionTest, OverflowsAtOneHundredEntries) {
    CallFrameBytes bytes;
    CRSThreadContext registers{};
    std::uint64_t value = 0;
    // The initial value takes the first entry: 99 pushes fill the stack, 100 overflow it.
    const std::uintptr_t full = expression(bytes, std::vector<std::uint8_t>(99, 0x31));
    const std::uintptr_t over = expression(bytes, std::vector<std::uint8_t>(100, 0x31));
    EXPECT_TRUE(CRSDwarfEvaluateExpression(full, bytes.section(), &registers, 7, &value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(CRSDwarfEvaluateExpression(over, bytes.section(), &registers, 7, &value));
    // Popping an empty stack fails too.
    const std::uintptr_t under = expression(bytes, {0x22, 0x22});
    EXPECT_FALSE(CRSDwarfEvaluateExpression(under, bytes.section(), &registers, 7, &value));
}

TEST(CRSEhFrameHeaderTest, FindsFunctionsThroughADataRelativeTable) {
    CallFrameBytes bytes;
    // Header: version 1, frame pointer pc-relative sdata4, count udata4, table datarel sdata4.
    bytes.u8({1, 0x1B, 0x03, 0x3B}).u32(0).u32(3);
    const std::size_t table = bytes.size();
    for (int i = 0; i < 6; ++i) bytes.u32(0);
    const std::size_t cie = bytes.standardCIE();
    // Functions within reach of 32-bit offsets from the table.
    const std::uintptr_t header = bytes.address();
    const std::uint64_t function = header + 0x100000;
    const std::uint64_t starts[3] = {function, function + 0x100, function + 0x200};
    std::size_t fdes[3];
    for (int i = 0; i < 3; ++i) fdes[i] = bytes.fde(cie, starts[i], 0x80, {});
    for (int i = 0; i < 3; ++i) {
        bytes.patch32(table + 8 * i, static_cast<std::uint32_t>(starts[i] - header));
        bytes.patch32(table + 8 * i + 4,
                      static_cast<std::uint32_t>(bytes.address(fdes[i]) - header));
    }
    const std::uintptr_t begin = bytes.address();
    const std::uintptr_t end = bytes.address(bytes.size());

    CRSDwarfCFIRecord record;
    CRSDwarfSection section;
    const std::pair<std::uint64_t, int> cases[] = {
        {function, 0},         {function + 0x7F, 0},   {function + 0x150, 1},
        {function + 0x200, 2}, {function + 0x80, -1},  // between functions
        {function - 1, -1},    {function + 0x280, -1},
    };
    for (const auto& [pc, expected] : cases) {
        const bool found = CRSEhFrameHeaderFindFDE(header, begin, end, pc, &record, &section);
        EXPECT_EQ(found, expected >= 0) << std::hex << pc;
        if (found && expected >= 0) {
            EXPECT_EQ(record.fde.startAddress, starts[expected]);
        }
    }
    // A table that claims more entries than the segment holds is refused.
    bytes.patch32(8, 1000000);
    EXPECT_FALSE(CRSEhFrameHeaderFindFDE(header, begin, end, function, &record, &section));
}

}  // namespace
}  // namespace pex
