#pragma once
// The accessor behind every named palette colour: the colour is made by its initialiser once,
// by the first caller (later callers wait for it, then skip it), and kept for the life of the
// process. Safe from any thread.
#include <functional>
#include <mutex>
#include <optional>

#include "platform/appkit/Color.h"

namespace pex {

class PaletteColor {
  public:
    explicit PaletteColor(std::function<Color()> initialiser)
        : initialiser_(std::move(initialiser)) {}
    PaletteColor(const PaletteColor&) = delete;
    PaletteColor& operator=(const PaletteColor&) = delete;

    Color paletteColor() const { return object(); }
    // The colour object itself: every call answers the very same object.
    const Color& object() const {
        std::call_once(once_, [this] { color_ = initialiser_(); });
        return *color_;
    }
    Color operator()() const { return paletteColor(); }

  private:
    std::function<Color()> initialiser_;
    mutable std::once_flag once_;
    mutable std::optional<Color> color_;
};

}  // namespace pex
