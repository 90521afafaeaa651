#include "Tools/ViewHelpers.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>

#include "service/ConsoleLog.h"

namespace pex {

void addSubview(QWidget* superview, QWidget* view) {
    if (!superview || !view) return;
    if (view->parentWidget() != superview) view->setParent(superview);
    view->raise();
    view->show();
}

void removeFromSuperview(QWidget* view) {
    if (!view) return;
    view->hide();
    if (view->parentWidget()) view->setParent(nullptr);
}

double viewAlpha(const QWidget* view) {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(view->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void setViewAlpha(QWidget* view, double alpha) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(view);
        view->setGraphicsEffect(effect);
    }
    effect->setOpacity(std::clamp(alpha, 0.0, 1.0));
}

QLabel* makeTextLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAutoFillBackground(false);
    label->setFrameShape(QFrame::NoFrame);
    label->setContentsMargins(0, 0, 0, 0);
    label->setMargin(0);
    return label;
}

void setTextColor(QLabel* label, const Color& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color.toQColor());
    palette.setColor(QPalette::Text, color.toQColor());
    label->setPalette(palette);
}

Color textColor(const QLabel* label) {
    return Color::fromQColor(label->palette().color(QPalette::WindowText));
}

void logMouseEvent(const char* viewName, const QMouseEvent* event) {
    const char* kind = event->type() == QEvent::MouseButtonPress     ? "mouseDown"
                       : event->type() == QEvent::MouseButtonRelease ? "mouseUp"
                                                                     : "mouseEvent";
    const QPointF at = event->position();
    consoleLog(std::string(viewName) + " " + kind + " at (" + std::to_string(at.x()) + ", " +
               std::to_string(at.y()) + ")");
}

}  // namespace pex
