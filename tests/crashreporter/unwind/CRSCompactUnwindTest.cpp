#include "crashreporter/unwind/CRSCompactUnwind.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "CallFrameBytes.h"
#include "UnwindInfoBytes.h"
#include "crashreporter/runtime/CrashContextFixture.h"

namespace pex {
namespace {

using test::UnwindInfoBytes;
using test::UnwindInfoPage;

constexpr std::uintptr_t kLoad = 0x100000000;  // the image's load address
constexpr std::uint32_t kFramePointerEncoding = 0x01000000;

constexpr std::uint32_t frameless(std::uint32_t stackWords, std::uint32_t count,
                                  std::uint32_t permutation) {
    return 0x02000000 | stackWords << 16 | count << 10 | permutation;
}

// Two pages: a compressed one for [0x1000, 0x2000) with three functions, the last using the
// page's own encoding; a regular one for [0x2000, 0x3000).
UnwindInfoBytes twoPages() {
    return UnwindInfoBytes(
        {kFramePointerEncoding, frameless(2, 0, 0)},
        {UnwindInfoPage{UnwindInfoPage::Kind::compressed,
                        0x1000,
                        {{0x0, 0}, {0x40, 1}, {0x100, 2}},
                        {frameless(4, 2, 4)}},
         UnwindInfoPage{UnwindInfoPage::Kind::regular, 0x2000, {{0x0, kFramePointerEncoding}}, {}}},
        0x3000);
}

class CRSCompactUnwindTest : public test::CrashContextTest {};

TEST_F(CRSCompactUnwindTest, LooksFunctionsUpThroughTheTwoLevels) {
    UnwindInfoBytes info = twoPages();
    CRSCompactUnwindContext context;
    ASSERT_TRUE(CRSCompactUnwindInit(&context, info.address(), info.size(), 0, 0, kLoad));

    struct Case {
        const char* name;
        std::uintptr_t offset;  // PC - load address
        bool found;
        std::uintptr_t start;
        std::uintptr_t end;
        std::uint32_t encoding;
    };
    const Case cases[] = {
        {"the first byte of the page's first function", 0x1000, true, 0x1000, 0x1040,
         kFramePointerEncoding},
        {"inside the second function", 0x1050, true, 0x1040, 0x1100, frameless(2, 0, 0)},
        {"the last function of the page ends at the next first-level entry", 0x1FFF, true, 0x1100,
         0x2000, frameless(4, 2, 4)},
        {"a regular page is not read", 0x2010, false, 0, 0, 0},
        {"past the last first-level range", 0x3000, false, 0, 0, 0},
        {"before the first first-level range", 0x0FFF, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CRSCompactUnwindResult result;
        ASSERT_EQ(CRSCompactUnwindLookup(&context, kLoad + c.offset, &result), c.found) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(result.functionStart, kLoad + c.start) << c.name;
        EXPECT_EQ(result.functionEnd, kLoad + c.end) << c.name;
        EXPECT_EQ(result.encoding, c.encoding) << c.name;
        EXPECT_EQ(result.lsda, 0u) << c.name;
    }
    CRSCompactUnwindResult result;
    EXPECT_FALSE(CRSCompactUnwindLookup(&context, kLoad - 1, &result));
    EXPECT_NE(sdkLog().find("Encountered a regular second-level page"), std::string::npos);
}

TEST_F(CRSCompactUnwindTest, RefusesDamagedTables) {
    // Each damage, and a lookup that would otherwise find the function at 0x1100.
    struct Case {
        const char* name;
        std::vector<std::uint32_t> common;
        UnwindInfoPage page;
        std::uint8_t pageKind = 3;  // written over the page's kind
    };
    const Case cases[] = {
        {"an encoding index beyond the page's encodings",
         {kFramePointerEncoding},
         UnwindInfoPage{UnwindInfoPage::Kind::compressed, 0x1000, {{0x100, 2}}, {0x01000000}}},
        {"an encoding of 0 (no unwind information)",
         {0},
         UnwindInfoPage{UnwindInfoPage::Kind::compressed, 0x1000, {{0x100, 0}}, {}}},
        {"an empty page",
         {kFramePointerEncoding},
         UnwindInfoPage{UnwindInfoPage::Kind::compressed, 0x1000, {}, {}}},
        {"a page of unknown kind",
         {kFramePointerEncoding},
         UnwindInfoPage{UnwindInfoPage::Kind::compressed, 0x1000, {{0x100, 0}}, {}},
         7},
    };
    // A regular page follows, so a read past the damaged page finds words, not the end.
    const UnwindInfoPage after{UnwindInfoPage::Kind::regular, 0x2000, {{0x0, 0x01000000}}, {}};
    for (const Case& c : cases) {
        UnwindInfoBytes info(c.common, {c.page, after}, 0x3000);
        // The page follows the header, the common encodings and the three index entries.
        info.bytes()[28 + 4 * c.common.size() + 36] = c.pageKind;
        CRSCompactUnwindContext context;
        ASSERT_TRUE(CRSCompactUnwindInit(&context, info.address(), info.size(), 0, 0, kLoad))
            << c.name;
        CRSCompactUnwindResult result;
        EXPECT_FALSE(CRSCompactUnwindLookup(&context, kLoad + 0x1100, &result)) << c.name;
    }

    // A header of another version, and sections too short for their header.
    UnwindInfoBytes info = twoPages();
    CRSCompactUnwindContext context;
    for (std::size_t size : {0, 27}) {
        EXPECT_FALSE(CRSCompactUnwindInit(&context, info.address(), size, 0, 0, kLoad)) << size;
    }
    EXPECT_FALSE(CRSCompactUnwindInit(&context, info.address(), info.size(), 0, 0, 100));
    info.bytes()[0] = 2;
    EXPECT_FALSE(CRSCompactUnwindInit(&context, info.address(), info.size(), 0, 0, kLoad));
    EXPECT_NE(sdkLog().find("bad unwind_info structure version (2 != 1)"), std::string::npos);
}

TEST_F(CRSCompactUnwindTest, ReadsNothingPastTheSectionsEnd) {
    // The whole table stays in memory, but the section is said to end earlier: the function
    // whose encoding is the section's last word can then never be found.
    UnwindInfoBytes info = twoPages();
    info.bytes().resize(info.size() - 16);  // drop the regular page: the page encoding is last
    const std::uintptr_t lastFunction = kLoad + 0x1100;
    for (std::size_t size = 28; size <= info.size(); ++size) {
        CRSCompactUnwindContext context;
        ASSERT_TRUE(CRSCompactUnwindInit(&context, info.address(), size, 0, 0, kLoad));
        CRSCompactUnwindResult result;
        EXPECT_EQ(CRSCompactUnwindLookup(&context, lastFunction, &result), size == info.size())
            << size;
    }
}

TEST(CRSCompactUnwindPermutationTest, DecodesEveryRegisterCount) {
    struct Case {
        std::uint32_t count;
        std::uint32_t permutation;
        std::vector<int> registers;  // 1 RBX, 2 R12, 3 R13, 4 R14, 5 R15, 6 RBP
    };
    const Case cases[] = {
        {0, 0, {}},
        {1, 0, {1}},
        {1, 5, {6}},
        {2, 4, {1, 6}},                // 0 * 5 + 4
        {2, 9, {2, 6}},                // 1 * 5 + 4
        {3, 92, {5, 4, 1}},            // 4 * 20 + 3 * 4 + 0
        {4, 359, {6, 5, 4, 3}},        // 5 * 60 + 4 * 12 + 3 * 3 + 2
        {5, 0, {1, 2, 3, 4, 5}},       // all in ascending order
        {5, 119, {1, 6, 5, 4, 3}},     // 0 * 120 + 4 * 24 + 3 * 6 + 2 * 2 + 1
        {6, 719, {6, 5, 4, 3, 2, 1}},  // 5 * 120 + 4 * 24 + 3 * 6 + 2 * 2 + 1
        {6, 0, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        int registers[kCRSCompactUnwindMaxSavedRegisters] = {};
        ASSERT_TRUE(CRSCompactUnwindDecodePermutation(c.count, c.permutation, registers))
            << c.count << " " << c.permutation;
        EXPECT_EQ(std::vector<int>(registers, registers + c.count), c.registers)
            << c.count << " " << c.permutation;
    }
    // Seven registers, and ranks beyond the numbers left, name no arrangement.
    for (const auto& [count, permutation] :
         {std::pair{7u, 0u}, std::pair{1u, 6u}, std::pair{2u, 30u}, std::pair{6u, 720u},
          std::pair{3u, 1023u}}) {
        int registers[kCRSCompactUnwindMaxSavedRegisters] = {};
        EXPECT_FALSE(CRSCompactUnwindDecodePermutation(count, permutation, registers))
            << count << " " << permutation;
    }
}

// A frameless function's frame on a synthetic stack: locals, the saved registers, the return
// address.
struct SyntheticStack {
    std::uint64_t words[16] = {};
    std::uintptr_t at(int index) const { return reinterpret_cast<std::uintptr_t>(&words[index]); }
};

constexpr std::uint64_t kReturnAddress = 0x7f0000123456;
constexpr std::uint64_t kSavedRbp = 0x7ffff000;

TEST_F(CRSCompactUnwindTest, StepsOutOfAFramelessFunctionRestoringOnlyTheFramePointer) {
    // The last function of the page saved RBX then RBP below its return address and reserved
    // one more word: four words in all.
    UnwindInfoBytes info = twoPages();
    SyntheticStack stack;
    stack.words[5] = 0x1111;  // saved RBX
    stack.words[6] = kSavedRbp;
    stack.words[7] = kReturnAddress;
    CRSThreadContext registers{};
    registers.rsp = stack.at(4);
    registers.rbp = 0x42;
    registers.rbx = 0x99;
    registers.rip = kLoad + 0x1200;

    CRSCompactUnwindContext context;
    ASSERT_TRUE(CRSCompactUnwindInit(&context, info.address(), info.size(), 0, 0, kLoad));
    ASSERT_TRUE(CRSCompactUnwindLookupAndCompute(&context, registers.rip, &registers));
    EXPECT_EQ(registers.rip, kReturnAddress);
    EXPECT_EQ(registers.rsp, stack.at(8));
    EXPECT_EQ(registers.rbp, kSavedRbp);
    EXPECT_EQ(registers.rbx, 0x99u);  // left as it was, and said so
    char skipped[128];
    std::snprintf(skipped, sizeof skipped, "skipping a restore of register 1 at 0x%lx",
                  static_cast<unsigned long>(stack.at(5)));
    EXPECT_NE(sdkLog().find(skipped), std::string::npos) << sdkLog();
}

TEST_F(CRSCompactUnwindTest, ComputesEachModeFromItsEncoding) {
    SyntheticStack stack;
    // A function whose `sub rsp, 0x18` immediate lies at byte 3: 0x18 + 1 word of pushes.
    const std::uint8_t code[] = {0x53, 0x48, 0x81, 0x18, 0x00, 0x00, 0x00, 0xEC, 0xC3};
    const auto codeStart = reinterpret_cast<std::uintptr_t>(code);
    test::CallFrameBytes cfi;
    const std::size_t cie = cfi.standardCIE();  // cfa rsp + 8, return address at cfa - 8
    const std::size_t fde = cfi.fde(cie, kLoad + 0x1000, 0x100, {});
    CRSCompactUnwindContext context;
    UnwindInfoBytes info = twoPages();
    ASSERT_TRUE(CRSCompactUnwindInit(&context, info.address(), info.size(), cfi.address(),
                                     cfi.size(), kLoad));

    struct Case {
        const char* name;
        std::uint32_t encoding;
        int spIndex;
        int returnIndex;  // -1: the step fails and leaves the registers alone; the saved
                          // RBP lies in the word below the return address
        int newSpIndex;
        std::uint64_t rbp;
        bool framePointerChain = false;  // rbp points at the saved RBP
    };
    const std::uint32_t indirect = 0x03000000 | 3u << 16 | 1u << 13 | 1u << 10 | 5;  // RBP
    const Case cases[] = {
        {"frame pointer", kFramePointerEncoding, 2, 7, 8, kSavedRbp, true},
        {"frameless, immediate size", frameless(3, 0, 0), 4, 6, 7, 0},
        {"frameless, size read from the code", indirect, 3, 6, 7, kSavedRbp},
        {"call-frame information", 0x04000000 | static_cast<std::uint32_t>(fde), 3, 3, 4, 0},
        {"a stack smaller than its saved registers", frameless(1, 2, 4), 4, -1, 0, 0},
        {"seven saved registers", frameless(9, 7, 0), 4, -1, 0, 0},
        {"no mode", 0x00010000, 4, -1, 0, 0},
        {"an unknown mode", 0x05000000, 4, -1, 0, 0},
    };
    for (const Case& c : cases) {
        std::memset(stack.words, 0, sizeof stack.words);
        if (c.returnIndex > 0) {
            stack.words[c.returnIndex] = kReturnAddress;
            stack.words[c.returnIndex - 1] = kSavedRbp;
        }
        CRSThreadContext registers{};
        registers.rsp = stack.at(c.spIndex);
        registers.rbp = c.framePointerChain ? stack.at(c.returnIndex - 1) : 0;
        const CRSThreadContext before = registers;
        const CRSCompactUnwindResult result{c.encoding, codeStart, codeStart + sizeof code, 0, 0};
        const bool stepped =
            CRSCompactUnwindComputeRegisters(&context, result, kLoad + 0x1010, &registers);
        ASSERT_EQ(stepped, c.returnIndex >= 0) << c.name;
        if (!stepped) {
            EXPECT_EQ(std::memcmp(&registers, &before, sizeof before), 0) << c.name;
            continue;
        }
        EXPECT_EQ(registers.rip, kReturnAddress) << c.name;
        EXPECT_EQ(registers.rsp, stack.at(c.newSpIndex)) << c.name;
        EXPECT_EQ(registers.rbp, c.rbp) << c.name;
    }
}

}  // namespace
}  // namespace pex
