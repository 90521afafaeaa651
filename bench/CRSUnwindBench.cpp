// How fast the crash-time stack walker turns a 20-frame stack into frames: through the
// call-frame information, through the frame-pointer chain, and the C++ runtime's own walk for
// comparison. Items per second are frames per second.
#include <pthread.h>
#include <ucontext.h>
#include <unwind.h>

#include <benchmark/benchmark.h>

#include <filesystem>

#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/unwind/CRSUnwind.h"
#include "crashreporter/unwind/CurrentStackBounds.h"

namespace {

using namespace pex;

void setUpCrashContext() {
    static const bool ready = [] {
        const auto root = std::filesystem::temp_directory_path() / "pexmora-unwind-bench";
        std::filesystem::create_directories(root);
        CRSContextAllocate();
        CRSContextSetRootPath(root.c_str());
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        CRSContextCompleteInitialization();
        return true;
    }();
    benchmark::DoNotOptimize(ready);
}

enum class Strategy { dwarf, dwarfWithoutStackBounds, framePointer, runtime };

_Unwind_Reason_Code countFrame(_Unwind_Context*, void* count) {
    ++*static_cast<std::int64_t*>(count);
    return _URC_NO_REASON;
}

__attribute__((noinline)) void measure(benchmark::State& state, Strategy strategy) {
    ucontext_t context;
    getcontext(&context);
    CRSThreadContext registers;
    CRSThreadContextFromUContext(&context, &registers);
    std::uintptr_t stackLow = 0;
    std::uintptr_t stackHigh = 0;
    currentStackBounds(&stackLow, &stackHigh);
    std::int64_t frames = 0;
    for (auto _ : state) {
        CRSUnwindContext walk;
        CRSUnwindInit(&walk, &registers);
        switch (strategy) {
            case Strategy::dwarf:
                CRSUnwindSetStackBounds(&walk, stackLow, stackHigh);
                while (CRSUnwindNextFrame(&walk)) ++frames;
                break;
            case Strategy::dwarfWithoutStackBounds:
                while (CRSUnwindNextFrame(&walk)) ++frames;
                break;
            case Strategy::framePointer:
                CRSUnwindSetStackBounds(&walk, stackLow, stackHigh);
                ++frames;
                while (CRSUnwindStepWithFramePointer(&walk) == CRSUnwindStep::stepped &&
                       CRSIsValidPointer(walk.registers.rip)) {
                    ++frames;
                }
                break;
            case Strategy::runtime:
                _Unwind_Backtrace(countFrame, &frames);
                break;
        }
    }
    state.SetItemsProcessed(frames);
    state.counters["frames_per_walk"] =
        static_cast<double>(frames) / static_cast<double>(state.iterations());
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <int N>
__attribute__((noinline)) int chain(benchmark::State& state, Strategy strategy) {
    const int result = chain<N - 1>(state, strategy);
    asm volatile("" ::: "memory");
    return result + N;
}

template <>
__attribute__((noinline)) int chain<0>(benchmark::State& state, Strategy strategy) {
    measure(state, strategy);
    asm volatile("" ::: "memory");
    return 0;
}

void BM_UnwindDwarf(benchmark::State& state) {
    setUpCrashContext();
    chain<20>(state, Strategy::dwarf);
}
void BM_UnwindDwarfWithoutStackBounds(benchmark::State& state) {
    setUpCrashContext();
    chain<20>(state, Strategy::dwarfWithoutStackBounds);
}
void BM_UnwindFramePointer(benchmark::State& state) {
    setUpCrashContext();
    chain<20>(state, Strategy::framePointer);
}
void BM_UnwindRuntimeBacktrace(benchmark::State& state) {
    setUpCrashContext();
    chain<20>(state, Strategy::runtime);
}

BENCHMARK(BM_UnwindDwarf);
BENCHMARK(BM_UnwindDwarfWithoutStackBounds);
BENCHMARK(BM_UnwindFramePointer);
BENCHMARK(BM_UnwindRuntimeBacktrace);

}  // namespace
