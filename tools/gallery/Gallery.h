#pragma once
// The view gallery: named render functions, one per state of a view, each returning the
// picture of that state. Register them from any .cpp in tools/gallery with a static entry:
//
//     static const pex::gallery::Entry busy{"StatusHUD", "busy", [] {
//         QWidget window;            // build the view in the state to show
//         ...
//         return pex::gallery::snapshot(window);
//     }};
//
// Time stands still in the gallery (a ManualClock): timers, fades and delayed work run only
// when a render function calls advance(), so every picture is the same on every run.
#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"

class QWidget;

namespace pex::gallery {

using Render = std::function<QImage()>;

struct Registration {
    std::string view;
    std::string state;
    Render render;
    std::string fileName() const { return view + "_" + state + ".png"; }
};

void add(std::string view, std::string state, Render render);
const std::vector<Registration>& registrations();

struct Entry {
    Entry(std::string view, std::string state, Render render) {
        add(std::move(view), std::move(state), std::move(render));
    }
};

// The picture of `widget` as it shows on screen: shown offscreen, pending events run.
QImage snapshot(QWidget& widget);
// Moves the gallery's clock on and runs what became due on the main queue.
void advance(Clock::Duration by);
// Runs the main queue's pending work without moving time.
void settle();

// Used by the gallery's main: the clock advance() moves.
void setClock(ManualClock* clock);

}  // namespace pex::gallery
