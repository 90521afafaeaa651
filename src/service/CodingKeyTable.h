#pragma once
// The texts of a record's coding keys, listed in the order of its CodingKeys enumeration, with
// the look-ups both ways that each history record offers. Field, coding key and column share
// one text.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace pex {

template <typename Key, std::size_t Count>
class CodingKeyTable {
  public:
    constexpr explicit CodingKeyTable(std::array<std::string_view, Count> texts) : texts_(texts) {}

    constexpr std::string_view text(Key key) const { return texts_[static_cast<std::size_t>(key)]; }

    // The key whose text is exactly `text` (letter case included), if any.
    constexpr std::optional<Key> key(std::string_view text) const {
        for (std::size_t i = 0; i < Count; ++i) {
            if (texts_[i] == text) return static_cast<Key>(i);
        }
        return std::nullopt;
    }

  private:
    std::array<std::string_view, Count> texts_;
};

}  // namespace pex
