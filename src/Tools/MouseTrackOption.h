#pragma once
// The vocabulary of mouse tracking: the two events an observer hears, the option bits a
// tracker is given and the interface of something that can be told what to track.
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace pex {

enum class MouseMoveEvent : int { exited = 0, entered = 1 };

// A set of option bits. Only the bit of value 1 has an effect: with it, a mouse-down on the
// tracked view is reported as `exited`.
struct MouseTrackOption {
    std::uint64_t rawValue = 0;

    static constexpr MouseTrackOption exitOnMouseDown() { return MouseTrackOption{1}; }

    constexpr MouseTrackOption() = default;
    constexpr explicit MouseTrackOption(std::uint64_t raw) : rawValue(raw) {}
    // The union of the list.
    constexpr MouseTrackOption(std::initializer_list<MouseTrackOption> options) {
        for (const MouseTrackOption& option : options) rawValue |= option.rawValue;
    }

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(MouseTrackOption member) const {
        return (rawValue & member.rawValue) == member.rawValue;
    }
    constexpr MouseTrackOption unionWith(MouseTrackOption other) const {
        return MouseTrackOption{rawValue | other.rawValue};
    }
    constexpr MouseTrackOption intersection(MouseTrackOption other) const {
        return MouseTrackOption{rawValue & other.rawValue};
    }
    constexpr MouseTrackOption subtracting(MouseTrackOption other) const {
        return MouseTrackOption{rawValue & ~other.rawValue};
    }
    constexpr bool operator==(const MouseTrackOption&) const = default;
};

using MouseMoveObserver = std::function<void(MouseMoveEvent)>;

class MouseTrackable {
  public:
    virtual ~MouseTrackable() = default;
    // Stores the options and replaces the observer (the old one is released).
    virtual void setTracking(MouseTrackOption option, MouseMoveObserver observer) = 0;
};

}  // namespace pex
