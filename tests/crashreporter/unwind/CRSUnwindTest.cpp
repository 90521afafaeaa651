// Built with -O2 -fomit-frame-pointer: the chain below has no frame pointers, so only the
// call-frame information of this program can walk it.
#include "crashreporter/unwind/CRSUnwind.h"

#include <pthread.h>
#include <ucontext.h>
#include <unwind.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CurrentStackBounds.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSThreadRecorder.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

struct Walk {
    std::vector<std::uintptr_t> pcs;
    std::vector<std::uintptr_t> sps;
    std::vector<std::uint32_t> repeats;
};

Walk walk(const CRSThreadContext& registers, bool withStackBounds = false) {
    Walk result;
    CRSUnwindContext context;
    CRSUnwindInit(&context, &registers);
    if (withStackBounds) {
        std::uintptr_t low = 0;
        std::uintptr_t high = 0;
        currentStackBounds(&low, &high);
        CRSUnwindSetStackBounds(&context, low, high);
    }
    while (CRSUnwindNextFrame(&context)) {
        result.pcs.push_back(CRSUnwindGetPC(&context));
        result.sps.push_back(CRSUnwindGetStackPointer(&context));
        result.repeats.push_back(CRSUnwindGetFrameRepeatCount(&context));
    }
    return result;
}

_Unwind_Reason_Code collect(_Unwind_Context* context, void* data) {
    // The oracle ends with the outermost frame's undefined return address, as 0.
    const std::uintptr_t ip = _Unwind_GetIP(context);
    if (ip != 0) static_cast<std::vector<std::uintptr_t>*>(data)->push_back(ip);
    return _URC_NO_REASON;
}

struct Capture {
    CRSThreadContext registers{};
    Walk ours;
    Walk oursWithStackBounds;  // reads inside the thread's stack skip the kernel
    std::vector<std::uintptr_t> oracle;
    std::string recordPath;  // when set, the thread is also written there as a crash record
};

// Captures this point's registers and walks from them while the frames above are still live,
// then, from the same function, takes the oracle's walk.
__attribute__((noinline)) void capture(Capture* out) {
    ucontext_t context;
    getcontext(&context);
    CRSThreadContextFromUContext(&context, &out->registers);
    out->ours = walk(out->registers);
    out->oursWithStackBounds = walk(out->registers, true);
    if (!out->recordPath.empty()) {
        CRSFile file;
        CRSFileInit(&file, out->recordPath.c_str(), true);
        CRSFileWriteSectionStart(&file, "threads");
        CRSFileWriteArrayStart(&file);
        CRSThreadRecorderWriteThread(&file, out->registers, true);
        CRSFileWriteArrayEnd(&file);
        CRSFileWriteSectionEnd(&file);
        CRSFileClose(&file);
    }
    _Unwind_Backtrace(collect, &out->oracle);
    asm volatile("" ::: "memory");
}

template <int N>
__attribute__((noinline)) int chain(Capture* out, int value) {
    const int result = chain<N - 1>(out, value + 1);
    asm volatile("" ::: "memory");
    return result + N;  // work after the call: no tail call
}

template <>
__attribute__((noinline)) int chain<0>(Capture* out, int value) {
    capture(out);
    asm volatile("" ::: "memory");
    return value;
}

__attribute__((noinline)) int recurse(Capture* out, int depth) {
    if (depth == 0) {
        capture(out);
        return 0;
    }
    const int result = recurse(out, depth - 1);
    asm volatile("" ::: "memory");
    return result + 1;
}

// A recursion through two functions: no return address follows itself.
__attribute__((noinline)) int pong(Capture* out, int depth);

__attribute__((noinline)) int ping(Capture* out, int depth) {
    if (depth == 0) {
        capture(out);
        return 0;
    }
    const int result = pong(out, depth - 1);
    asm volatile("" ::: "memory");
    return result + 1;
}

__attribute__((noinline)) int pong(Capture* out, int depth) {
    if (depth == 0) {
        capture(out);
        return 0;
    }
    const int result = ping(out, depth - 1);
    asm volatile("" ::: "memory");
    return result + 2;
}

// The thread object of a record that `capture` wrote.
nlohmann::json recordedThread(const Capture& captured) {
    const auto sections = CRSFileReadSections(captured.recordPath.c_str(), false);
    if (!sections || sections->size() != 1) return nullptr;
    return (*sections)[0]["threads"][0];
}

// A function with a known first instruction, whatever the compiler flags: `push rbx`, one byte.
asm(R"(
    .text
    .type crsTestPushRbx, @function
crsTestPushRbx:
    .cfi_startproc
    push %rbx
    .cfi_adjust_cfa_offset 8
    .cfi_rel_offset %rbx, 0
    pop %rbx
    .cfi_adjust_cfa_offset -8
    .cfi_restore %rbx
    ret
    .cfi_endproc
    .size crsTestPushRbx, .-crsTestPushRbx
)");
extern "C" void crsTestPushRbx();

const char kNotCode[64] = "data inside the program's image, covered by no unwind record";

class CRSUnwindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CRSContextAllocate());
        CRSContextSetRootPath(dir_.path().c_str());
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        CRSContextCompleteInitialization();
    }

    std::string path(const char* name) const { return (dir_.path() / name).string(); }

  private:
    test::TempDir dir_;
};

TEST_F(CRSUnwindTest, WalksOptimisedCodeToTheSameFramesAsTheOracle) {
    Capture captured;
    chain<20>(&captured, 0);
    const Walk& ours = captured.ours;

    // The first frame is the thread's own PC and stack pointer, unchanged.
    ASSERT_FALSE(ours.pcs.empty());
    EXPECT_EQ(ours.pcs[0], captured.registers.rip);
    EXPECT_EQ(ours.sps[0], captured.registers.rsp);
    // From the callers on, both walks name the same return addresses, down to the end.
    ASSERT_GE(captured.oracle.size(), 23u);
    const std::vector<std::uintptr_t> callers(ours.pcs.begin() + 1, ours.pcs.end());
    const std::vector<std::uintptr_t> oracleCallers(captured.oracle.begin() + 1,
                                                    captured.oracle.end());
    EXPECT_EQ(callers, oracleCallers);
    EXPECT_EQ(captured.oursWithStackBounds.pcs, ours.pcs);
    EXPECT_EQ(captured.oursWithStackBounds.sps, ours.sps);
}

TEST_F(CRSUnwindTest, CountsRepeatsThroughDeepRecursion) {
    Capture captured;
    recurse(&captured, 500);
    const Walk& ours = captured.ours;
    ASSERT_GT(ours.pcs.size(), 500u);
    EXPECT_EQ(ours.pcs.size(), captured.oracle.size());
    // The recursive call's return address repeats 499 times in a row after its first frame.
    std::uint32_t longest = 0;
    for (std::uint32_t repeat : ours.repeats) longest = std::max(longest, repeat);
    EXPECT_EQ(longest, 499u);
}

TEST_F(CRSUnwindTest, FoldsADirectRecursionAndKeepsTheFramesBelowIt) {
    // Deeper than the record keeps, too: folded, it fits, so nothing is cut.
    for (const int depth : {500, 3000}) {
        SCOPED_TRACE(depth);
        Capture captured;
        captured.recordPath = path(("folded-" + std::to_string(depth) + ".clsrecord").c_str());
        recurse(&captured, depth);
        const std::vector<std::uintptr_t>& pcs = captured.ours.pcs;
        const nlohmann::json thread = recordedThread(captured);
        ASSERT_TRUE(thread.is_object());
        EXPECT_EQ(thread["crashed"], true);
        EXPECT_EQ(thread["registers"]["rip"], captured.registers.rip);

        // The recursive call's return address (one per level, however the innermost call was
        // made): written ten times, then counted.
        ASSERT_TRUE(thread["repeated_pc"].is_number_unsigned()) << thread.dump();
        const std::uintptr_t repeated = thread["repeated_pc"];
        const auto first = std::find(pcs.begin(), pcs.end(), repeated);
        const auto end =
            std::find_if(first, pcs.end(), [&](std::uintptr_t pc) { return pc != repeated; });
        const auto run = static_cast<std::size_t>(end - first);
        ASSERT_GE(run, static_cast<std::size_t>(depth));
        EXPECT_EQ(thread["repeat_count"], run - 1);
        std::vector<std::uintptr_t> expected(pcs.begin(), first + 10);
        expected.insert(expected.end(), end, pcs.end());
        EXPECT_EQ(thread["stacktrace"].get<std::vector<std::uintptr_t>>(), expected);
        EXPECT_FALSE(thread.contains("frames_omitted")) << thread.dump();
        EXPECT_EQ(crsContext->writable->internalLogLevel, 1);  // restored after the walk
    }
    std::ifstream logFile(path("sdk.log"));
    const std::string log((std::istreambuf_iterator<char>(logFile)),
                          std::istreambuf_iterator<char>());
    std::size_t warnings = 0;
    for (std::size_t at = log.find("Possible infinite recursion"); at != std::string::npos;
         at = log.find("Possible infinite recursion", at + 1)) {
        ++warnings;
    }
    EXPECT_EQ(warnings, 2u);  // once per thread
}

TEST_F(CRSUnwindTest, KeepsBothEndsOfADeepStackThatFoldingDoesNotShortenAndMarksTheGap) {
    constexpr std::size_t kKept =
        kCRSThreadRecorderInnermostFrames + kCRSThreadRecorderOutermostFrames;
    Capture base;
    ping(&base, 0);
    const std::size_t baseFrames = base.ours.pcs.size();
    ASSERT_LT(baseFrames, kKept);
    // Exactly as deep as the record keeps, one frame deeper, far deeper.
    for (const std::size_t total : {kKept, kKept + 1, baseFrames + 3000}) {
        SCOPED_TRACE(total);
        Capture captured;
        captured.recordPath = path(("threads-" + std::to_string(total) + ".clsrecord").c_str());
        ping(&captured, static_cast<int>(total - baseFrames));
        const std::vector<std::uintptr_t>& pcs = captured.ours.pcs;
        ASSERT_EQ(pcs.size(), total);  // the walk itself goes all the way

        const nlohmann::json thread = recordedThread(captured);
        ASSERT_TRUE(thread.is_object());
        EXPECT_EQ(thread["crashed"], true);
        EXPECT_EQ(thread["registers"]["rip"], captured.registers.rip);
        EXPECT_FALSE(thread.contains("repeated_pc")) << "no frame follows itself";
        const std::vector<std::uintptr_t> stack = thread["stacktrace"];
        const std::size_t omitted = total - std::min(total, kKept);
        ASSERT_EQ(stack.size(), total - omitted);
        const std::vector<std::uintptr_t> innermost(
            pcs.begin(), pcs.begin() + kCRSThreadRecorderInnermostFrames);
        const std::vector<std::uintptr_t> outermost(pcs.end() - (stack.size() - innermost.size()),
                                                    pcs.end());
        EXPECT_EQ(std::vector<std::uintptr_t>(stack.begin(), stack.begin() + innermost.size()),
                  innermost);
        EXPECT_EQ(std::vector<std::uintptr_t>(stack.begin() + innermost.size(), stack.end()),
                  outermost);
        if (omitted == 0) {
            EXPECT_FALSE(thread.contains("frames_omitted"));
        } else {
            EXPECT_EQ(thread["frames_omitted"]["after"], kCRSThreadRecorderInnermostFrames);
            EXPECT_EQ(thread["frames_omitted"]["count"], omitted);
        }
        EXPECT_EQ(crsContext->writable->internalLogLevel, 1);  // restored after the walk
    }
}

TEST_F(CRSUnwindTest, LooksTheFirstFrameUpAtItsOwnPC) {
    // Stopped right after a function's first instruction, its `push rbx` (a crash there):
    // the row at that PC puts the return address above the pushed register. Looking up
    // PC - 1, or skipping the row that starts at the PC, would take the pushed word instead.
    Capture captured;
    chain<2>(&captured, 0);
    const std::uintptr_t returnAddress = captured.ours.pcs[1];
    const auto pushedWord = reinterpret_cast<std::uint64_t>(&kNotCode[0]);  // inside the image
    std::vector<std::uint64_t> stack(8, 0);
    stack[2] = pushedWord;
    stack[3] = returnAddress;
    CRSThreadContext registers{};
    registers.rip = reinterpret_cast<std::uintptr_t>(&crsTestPushRbx) + 1;
    registers.rsp = reinterpret_cast<std::uint64_t>(&stack[2]);

    CRSUnwindContext context;
    CRSUnwindInit(&context, &registers);
    ASSERT_TRUE(CRSUnwindNextFrame(&context));
    ASSERT_TRUE(CRSUnwindNextFrame(&context));
    EXPECT_EQ(CRSUnwindGetPC(&context), returnAddress);
    EXPECT_EQ(CRSUnwindGetStackPointer(&context), reinterpret_cast<std::uint64_t>(&stack[4]));
    EXPECT_EQ(context.registers.rbx, pushedWord);
}

TEST_F(CRSUnwindTest, EndsAFramePointerCycleAtOnce) {
    // A made-up stack: no word near the top looks like code, then two frames that point at
    // each other. Their return addresses are data, so only the frame pointers lead on.
    std::vector<std::uint64_t> stack(300, 0);
    const auto at = [&](int index) { return reinterpret_cast<std::uint64_t>(&stack[index]); };
    const auto notCode = reinterpret_cast<std::uint64_t>(&kNotCode[8]);
    stack[260] = at(280);
    stack[261] = notCode;
    stack[280] = at(260);
    stack[281] = notCode + 8;

    CRSThreadContext registers{};
    registers.rip = notCode + 16;
    registers.rsp = at(0);
    registers.rbp = at(260);
    CRSUnwindContext context;
    CRSUnwindInit(&context, &registers);
    CRSUnwindSetStackBounds(&context, at(0), at(300));
    int frames = 0;
    while (CRSUnwindNextFrame(&context)) ++frames;
    EXPECT_EQ(frames, 3);  // its own, then one step into each frame of the cycle
}

TEST_F(CRSUnwindTest, StopsWhereTheFramePointerLeavesTheThreadsStack) {
    // A made-up stack of 300 words whose frame-pointer chain goes on, after two frames, into
    // memory above it that is readable but not the stack: a frame pointer the crash damaged.
    std::vector<std::uint64_t> memory(500, 0);
    const auto at = [&](int index) { return reinterpret_cast<std::uint64_t>(&memory[index]); };
    const auto notCode = reinterpret_cast<std::uint64_t>(&kNotCode[8]);
    memory[260] = at(280);
    memory[261] = notCode;
    memory[280] = at(400);
    memory[281] = notCode + 8;
    for (int i = 400; i + 2 < 500; i += 2) {
        memory[i] = at(i + 2);
        memory[i + 1] = notCode + 16;
    }
    CRSThreadContext registers{};
    registers.rip = notCode + 24;
    registers.rsp = at(0);
    registers.rbp = at(260);
    for (const bool bounded : {true, false}) {
        SCOPED_TRACE(bounded);
        CRSUnwindContext context;
        CRSUnwindInit(&context, &registers);
        if (bounded) CRSUnwindSetStackBounds(&context, at(0), at(300));
        int frames = 0;
        while (CRSUnwindNextFrame(&context)) ++frames;
        // Its own and the two on the stack; without bounds the walk follows the chain away,
        // through its 49 frames.
        EXPECT_EQ(frames, bounded ? 3 : 3 + 49);
    }
}

TEST_F(CRSUnwindTest, CapsAWalkBeyondAnyRealStack) {
    // A frame-pointer chain longer than a default stack of the smallest frames could hold,
    // above a stretch with nothing that looks like code.
    constexpr std::size_t kChain = 260;
    std::vector<std::uint64_t> stack(kChain + 2 * (kCRSUnwindMaxFrames + 100), 0);
    const auto notCode = reinterpret_cast<std::uint64_t>(&kNotCode[8]);
    for (std::size_t i = kChain; i + 2 < stack.size(); i += 2) {
        stack[i] = reinterpret_cast<std::uint64_t>(&stack[i + 2]);
        stack[i + 1] = notCode;
    }
    CRSThreadContext registers{};
    registers.rip = notCode;
    registers.rsp = reinterpret_cast<std::uint64_t>(&stack[0]);
    registers.rbp = reinterpret_cast<std::uint64_t>(&stack[kChain]);
    CRSUnwindContext context;
    CRSUnwindInit(&context, &registers);
    CRSUnwindSetStackBounds(&context, registers.rsp,
                            reinterpret_cast<std::uint64_t>(stack.data() + stack.size()));
    std::size_t frames = 0;
    while (CRSUnwindNextFrame(&context)) ++frames;
    EXPECT_EQ(frames, kCRSUnwindMaxFrames);
}

TEST_F(CRSUnwindTest, YieldsNoFramesForAnInvalidPCOrStackPointer) {
    const std::uint64_t stackWord = 0;
    const auto sp = reinterpret_cast<std::uint64_t>(&stackWord);
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {0, sp}, {4095, sp}, {0x401000, 0}, {0x401000, 100}};
    for (const auto& [pc, stackPointer] : cases) {
        CRSThreadContext registers{};
        registers.rip = pc;
        registers.rsp = stackPointer;
        EXPECT_TRUE(walk(registers).pcs.empty()) << pc << " " << stackPointer;
    }
    EXPECT_FALSE(CRSUnwindNextFrame(nullptr));
    EXPECT_EQ(CRSUnwindGetPC(nullptr), 0u);
}

}  // namespace
}  // namespace pex
