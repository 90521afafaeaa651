#pragma once
// The sentences the demo backend "hears", in turn, each in the languages it knows (keyed by the
// primary language subtag: "zh", "en").
#include <map>
#include <string>
#include <vector>

namespace pex {

struct DemoSentence {
    std::map<std::string, std::string> texts;
};

struct DemoScript {
    std::vector<DemoSentence> sentences;

    static const DemoScript& interview();
    // "zh-CN" → "zh"; "en" → "en".
    static std::string primaryLanguage(const std::string& code);
    // The first `units` characters (CJK) or words (others) of a text, and its unit count.
    static std::string prefix(const std::string& text, std::size_t units);
    static std::size_t unitCount(const std::string& text);
};

}  // namespace pex
