#include "platform/coreaudio/AudioTypes.h"

namespace pex::coreaudio {

namespace {

bool printable(std::uint32_t code) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>(code >> shift);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string fourChars(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>(code >> shift);
    return text;
}

}  // namespace

std::string fourCCText(std::uint32_t code) {
    return printable(code) ? "'" + fourChars(code) + "'" : std::to_string(code);
}

std::string describe(const AudioObjectPropertyAddress& address) {
    return fourCCText(address.mSelector) + ", " + fourCCText(address.mScope) + ", " +
           std::to_string(address.mElement);
}

}  // namespace pex::coreaudio
