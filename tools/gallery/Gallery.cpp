#include "Gallery.h"

#include <QCoreApplication>
#include <QWidget>
#include <stdexcept>

namespace pex::gallery {

namespace {

std::vector<Registration>& registry() {
    static std::vector<Registration> entries;
    return entries;
}

ManualClock*& galleryClock() {
    static ManualClock* clock = nullptr;
    return clock;
}

}  // namespace

void add(std::string view, std::string state, Render render) {
    registry().push_back({std::move(view), std::move(state), std::move(render)});
}

const std::vector<Registration>& registrations() {
    return registry();
}

void setClock(ManualClock* clock) {
    galleryClock() = clock;
}

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

void advance(Clock::Duration by) {
    if (!galleryClock()) throw std::logic_error("gallery clock not installed");
    // In frame-sized steps, so that animations see the frames in between.
    const Clock::Duration frame = std::chrono::milliseconds(16);
    while (by > Clock::Duration::zero()) {
        const Clock::Duration step = std::min(by, frame);
        galleryClock()->advance(step);
        by -= step;
        settle();
    }
}

QImage snapshot(QWidget& widget) {
    widget.show();
    settle();
    return widget.grab().toImage();
}

}  // namespace pex::gallery
