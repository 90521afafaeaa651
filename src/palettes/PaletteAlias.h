#pragma once
// A palette constant that is another constant under a second name: on its first read it reads
// its target (making it if need be) and from then on answers the target's very object. Safe
// from any thread.
#include <functional>
#include <mutex>

#include "platform/appkit/Color.h"

namespace pex::palettes {

class PaletteAlias {
  public:
    explicit PaletteAlias(std::function<const Color&()> target) : target_(std::move(target)) {}
    PaletteAlias(const PaletteAlias&) = delete;
    PaletteAlias& operator=(const PaletteAlias&) = delete;

    const Color& object() const {
        std::call_once(once_, [this] { colour_ = &target_(); });
        return *colour_;
    }

  private:
    std::function<const Color&()> target_;
    mutable std::once_flag once_;
    mutable const Color* colour_ = nullptr;
};

}  // namespace pex::palettes
