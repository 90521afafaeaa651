#include "Page/About/VersionOrder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pex {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
    return text;
}

std::vector<std::string_view> parts(std::string_view text) {
    std::vector<std::string_view> result;
    if (text.empty()) return result;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        result.push_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return result;
}

bool isNumber(std::string_view part) {
    return !part.empty() &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole numbers of any length, without converting (so no part can overflow).
std::strong_ordering compareNumbers(std::string_view left, std::string_view right) {
    const auto significant = [](std::string_view digits) {
        const std::size_t first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
    };
    left = significant(left);
    right = significant(right);
    if (left.size() != right.size()) return left.size() <=> right.size();
    return left.compare(right) <=> 0;
}

std::strong_ordering compareParts(std::string_view left, std::string_view right) {
    if (left.empty()) left = "0";
    if (right.empty()) right = "0";
    if (isNumber(left) && isNumber(right)) return compareNumbers(left, right);
    return left.compare(right) <=> 0;
}

}  // namespace

std::strong_ordering compareVersions(std::string_view left, std::string_view right) {
    const auto leftParts = parts(trimmed(left));
    const auto rightParts = parts(trimmed(right));
    const std::size_t count = std::max(leftParts.size(), rightParts.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view a = i < leftParts.size() ? leftParts[i] : std::string_view{};
        const std::string_view b = i < rightParts.size() ? rightParts[i] : std::string_view{};
        if (const auto order = compareParts(a, b); order != 0) return order;
    }
    return std::strong_ordering::equal;
}

}  // namespace pex
