#pragma once
// Small view operations the design's views rely on, in its terms: adding a view on top of its
// new superview, taking it off the screen while keeping it, a view's alpha, plain labels and
// the console line of a mouse event that a view keeps for itself.
#include <QString>

#include "platform/appkit/Color.h"

class QLabel;
class QMouseEvent;
class QWidget;

namespace pex {

// Makes `view` the topmost subview of `superview` and shows it (a view already there is
// brought to the top).
void addSubview(QWidget* superview, QWidget* view);
// Takes `view` out of its superview and hides it; the view itself stays (whoever holds it may
// add it again). A parentless view is never shown as a window of its own.
void removeFromSuperview(QWidget* view);

// The view's alpha, 0...1, drawn through an opacity effect; 1 when none was set.
double viewAlpha(const QWidget* view);
void setViewAlpha(QWidget* view, double alpha);

// A label: plain text, no background, no border, not editable or selectable; mouse events
// pass on to the view beneath.
QLabel* makeTextLabel(const QString& text, QWidget* parent = nullptr);
void setTextColor(QLabel* label, const Color& color);
Color textColor(const QLabel* label);

// Writes a mouse event that a view takes for itself to the console, as "<view> <event>".
void logMouseEvent(const char* viewName, const QMouseEvent* event);

}  // namespace pex
