#include "crashreporter/runtime/CRSExceptionTypeName.h"

#include <string>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(CRSExceptionTypeNameTest, NamesWhatIsThrownInPracticeAndKeepsAnythingElseMangled) {
    const struct {
        const char* mangled;
        const char* name;
        bool understood;
    } cases[] = {
        {"i", "int", true},
        {"PKc", "const char *", true},
        {"PPc", "char * *", true},
        {"St9bad_alloc", "std::bad_alloc", true},
        {"N3pex8BCNErrorE", "pex::BCNError", true},
        {"NSt3foo3barE", "std::foo::bar", true},
        {"PKN3pex5ErrorE", "const pex::Error *", true},
        {"10LocalThing", "LocalThing", true},
        // Templates, substitutions, cut-off or trailing text: kept as they are.
        {"NSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
         "NSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", false},
        {"N3pex5Error", "N3pex5Error", false},
        {"12too_short", "12too_short", false},
        {"ix", "ix", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        char out[128];
        EXPECT_EQ(CRSExceptionTypeNameDemangle(c.mangled, out, sizeof out), c.understood)
            << c.mangled;
        EXPECT_EQ(std::string(out), c.name) << c.mangled;
    }
}

TEST(CRSExceptionTypeNameTest, CutsTheNameToTheBufferAndAlwaysEndsIt) {
    char out[8];
    EXPECT_TRUE(CRSExceptionTypeNameDemangle("St9bad_alloc", out, sizeof out));
    EXPECT_EQ(std::string(out), "std::ba");
    EXPECT_FALSE(CRSExceptionTypeNameDemangle(nullptr, out, sizeof out));
    EXPECT_EQ(std::string(out), "");
}

}  // namespace
}  // namespace pex
