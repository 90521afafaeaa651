#pragma once
// Mouse input for widget tests on the offscreen platform, delivered as the window system
// would: to the deepest visible widget under the point that takes mouse events, then passed
// up to its parents while they leave it.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <optional>

namespace pex::test {

// Presses and releases the left button at `point` in `root`'s coordinates. Answers the
// widget that received the press.
inline QWidget* clickAt(QWidget* root, QPoint point) {
    QWidget* target = root->childAt(point);
    if (!target) target = root;
    const QPointF local = target->mapFrom(root, point);
    const QPointF global = root->mapToGlobal(QPointF(point));
    QMouseEvent press(QEvent::MouseButtonPress, local, local, global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, local, global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    return target;
}

// Clicks the centre of `widget` (or `point` in its coordinates) through its window.
inline QWidget* click(QWidget* widget, std::optional<QPoint> point = std::nullopt) {
    QWidget* window = widget->window();
    return clickAt(window, widget->mapTo(window, point.value_or(widget->rect().center())));
}

// The colour drawn at `point` of `widget` (in its coordinates), read from its window's
// picture so that what lies beneath shows through.
inline QColor pixelAt(QWidget* widget, QPoint point) {
    QWidget* window = widget->window();
    const QImage image = window->grab().toImage();
    const QPoint at = widget->mapTo(window, point) * image.devicePixelRatio();
    return image.pixelColor(at);
}

}  // namespace pex::test
