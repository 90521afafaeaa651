#include "crashreporter/runtime/CRSMachExceptionNames.h"

#include <gtest/gtest.h>

#include <string>

namespace pex {
namespace {

std::string text(const char* name) {
    return name ? name : "(none)";
}

TEST(CRSMachExceptionNamesTest, NamesTypesAndFirstCodes) {
    struct Case {
        std::int32_t type;
        std::int64_t code;
        const char* name;
        const char* codeName;
    };
    const Case cases[] = {
        {1, 1, "EXC_BAD_ACCESS", "KERN_INVALID_ADDRESS"},
        {1, 2, "EXC_BAD_ACCESS", "KERN_PROTECTION_FAILURE"},
        {1, 0, "EXC_BAD_ACCESS", nullptr},  // no codes: looked up with 0
        {2, 12345, "EXC_BAD_INSTRUCTION", "EXC_I386_INVOP"},
        {3, 1, "EXC_ARITHMETIC", "EXC_I386_DIV"},
        {3, 8, "EXC_ARITHMETIC", "EXC_I386_SSEEXTERR"},
        {3, 9, "EXC_ARITHMETIC", nullptr},
        {6, 0, "EXC_BREAKPOINT", "EXC_I386_DIVERR"},
        {6, 8, "EXC_BREAKPOINT", nullptr},
        {6, 15, "EXC_BREAKPOINT", nullptr},
        {6, 33, "EXC_BREAKPOINT", "EXC_I386_ENDPERR"},
        {12, 1, "EXC_GUARD", nullptr},
        {5, 1, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const char* name = "stale";
        const char* codeName = "stale";
        CRSMachExceptionLookupNames(c.type, c.code, &name, &codeName);
        EXPECT_EQ(text(name), text(c.name)) << c.type << "/" << c.code;
        EXPECT_EQ(text(codeName), text(c.codeName)) << c.type << "/" << c.code;
    }
    const char* name = "kept";
    CRSMachExceptionLookupNames(1, 1, &name, nullptr);
    EXPECT_EQ(text(name), "kept") << "a missing output makes it do nothing";
}

}  // namespace
}  // namespace pex
