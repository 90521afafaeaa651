#pragma once
// Mouse tracking for any view: the view's one MouseTracker, created on first use and kept with
// the view, an observer told when the mouse enters and leaves, and hover effects that show
// while the mouse is over the view and are undone when it leaves.
//
// A view has one observer at a time: trackMouse and addHoverEffects replace each other's.
#include <vector>

#include "Tools/MouseTracker.h"
#include "platform/appkit/Color.h"

class QWidget;

namespace pex {

class LayerBackedView;

// What a view shows while hovered. A corner radius acts on the hover background only once
// that exists, so a list naming `cornerRadius` before `background` rounds the background from
// the second hover on.
struct HoverEffect {
    enum class Kind { cornerRadius, background };

    static HoverEffect cornerRadius(double radius) { return {Kind::cornerRadius, radius, {}}; }
    static HoverEffect background(const Color& color) { return {Kind::background, 0, color}; }

    Kind kind;
    double radius = 0;
    Color color;
};

// The view's tracker: created when the view has none, as its topmost subview covering it.
MouseTracker* mouseTracker(QWidget* view);

// Tells the view's tracker what to track and whom to tell.
void trackMouse(QWidget* view, MouseTrackOption option, MouseMoveObserver observer);

// Installs the effects, replacing any earlier list or observer.
void addHoverEffects(QWidget* view, std::vector<HoverEffect> effects);

// The view's hover background: a plain layer over the view's whole bounds at the time it was
// made, created by the first `background` effect that runs. Nothing before that.
LayerBackedView* hoverBackgroundLayer(QWidget* view);

}  // namespace pex
