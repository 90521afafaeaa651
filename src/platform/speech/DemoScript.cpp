#include "platform/speech/DemoScript.h"

#include <algorithm>
#include <cctype>

namespace pex {

namespace {

// Text is split into units: every non-ASCII code point is one unit (CJK has no spaces), and
// each run of ASCII non-space characters with the spaces before it is one unit.
std::vector<std::size_t> unitEnds(const std::string& text) {
    std::vector<std::size_t> ends;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            i = std::min(text.size(), i + length);
        } else {
            while (i < text.size() && text[i] == ' ') ++i;
            while (i < text.size() && text[i] != ' ' && static_cast<unsigned char>(text[i]) < 0x80)
                ++i;
        }
        ends.push_back(i);
    }
    return ends;
}

}  // namespace

const DemoScript& DemoScript::interview() {
    static const DemoScript script{{
        {{{"zh", "请先简单介绍一下你自己。"}, {"en", "Please briefly introduce yourself."}}},
        {{{"zh", "你为什么想加入我们公司？"}, {"en", "Why do you want to join our company?"}}},
        {{{"zh", "说说你最有成就感的一个项目。"},
          {"en", "Tell me about the project you are most proud of."}}},
        {{{"zh", "你遇到过的最大挑战是什么？"},
          {"en", "What is the biggest challenge you have faced?"}}},
    }};
    return script;
}

std::string DemoScript::primaryLanguage(const std::string& code) {
    std::string primary = code.substr(0, code.find_first_of("-_"));
    std::transform(primary.begin(), primary.end(), primary.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return primary;
}

std::string DemoScript::prefix(const std::string& text, std::size_t units) {
    if (units == 0) return {};
    const auto ends = unitEnds(text);
    if (units >= ends.size()) return text;
    return text.substr(0, ends[units - 1]);
}

std::size_t DemoScript::unitCount(const std::string& text) {
    return unitEnds(text).size();
}

}  // namespace pex
