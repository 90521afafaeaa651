// A library the crash test build loads only once crash reporting runs, to fault in it: its
// image and symbols must still be in the report.
#include <cstdint>

extern "C" __attribute__((visibility("default"), noinline, no_sanitize("undefined"))) void
pexmoraLateLibraryStoreToNull() {
    static volatile std::uintptr_t nowhere = 0;
    *reinterpret_cast<volatile int*>(nowhere) = 2;
}
