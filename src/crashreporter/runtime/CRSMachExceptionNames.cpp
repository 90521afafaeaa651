#include "crashreporter/runtime/CRSMachExceptionNames.h"

namespace pex {

namespace {

struct CodeName {
    std::int64_t code;
    const char* name;
};

constexpr CodeName kBadAccess[] = {{1, "KERN_INVALID_ADDRESS"}, {2, "KERN_PROTECTION_FAILURE"}};
constexpr CodeName kArithmetic[] = {{1, "EXC_I386_DIV"},    {2, "EXC_I386_INTO"},
                                    {3, "EXC_I386_NOEXT"},  {4, "EXC_I386_EXTOVR"},
                                    {5, "EXC_I386_EXTERR"}, {6, "EXC_I386_EMERR"},
                                    {7, "EXC_I386_BOUND"},  {8, "EXC_I386_SSEEXTERR"}};
constexpr CodeName kBreakpoint[] = {
    {0, "EXC_I386_DIVERR"},     {1, "EXC_I386_SGLSTP"},     {2, "EXC_I386_NMIFLT"},
    {3, "EXC_I386_BPTFLT"},     {4, "EXC_I386_INTOFLT"},    {5, "EXC_I386_BOUNDFLT"},
    {6, "EXC_I386_INVOPFLT"},   {7, "EXC_I386_NOEXTFLT"},   {9, "EXC_I386_EXTOVRFLT"},
    {10, "EXC_I386_INVTSSFLT"}, {11, "EXC_I386_SEGNPFLT"},  {12, "EXC_I386_STKFLT"},
    {13, "EXC_I386_GPFLT"},     {14, "EXC_I386_PGFLT"},     {16, "EXC_I386_EXTERRFLT"},
    {17, "EXC_I386_ALIGNFLT"},  {32, "EXC_I386_ENOEXTFLT"}, {33, "EXC_I386_ENDPERR"}};

template <std::size_t N>
const char* find(const CodeName (&table)[N], std::int64_t code) {
    for (const CodeName& entry : table) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

}  // namespace

void CRSMachExceptionLookupNames(std::int32_t type, std::int64_t firstCode, const char** name,
                                 const char** codeName) {
    if (name == nullptr || codeName == nullptr) return;
    *name = nullptr;
    *codeName = nullptr;
    switch (type) {
        case 1:
            *name = "EXC_BAD_ACCESS";
            *codeName = find(kBadAccess, firstCode);
            break;
        case 2:
            *name = "EXC_BAD_INSTRUCTION";
            *codeName = "EXC_I386_INVOP";
            break;
        case 3:
            *name = "EXC_ARITHMETIC";
            *codeName = find(kArithmetic, firstCode);
            break;
        case 6:
            *name = "EXC_BREAKPOINT";
            *codeName = find(kBreakpoint, firstCode);
            break;
        case 12:
            *name = "EXC_GUARD";
            break;
        default:
            break;
    }
}

}  // namespace pex
