#include "Tools/MouseTrackCompatible.h"

#include <QPointer>
#include <QWidget>

#include "Tools/LayerBackedView.h"

namespace pex {

namespace {

constexpr const char* kTrackerName = "pex.mouseTracker";
constexpr const char* kHoverBackgroundName = "pex.hoverBackground";

LayerBackedView* makeHoverBackground(QWidget* view, const Color& color) {
    auto* layer = new LayerBackedView(view);
    layer->setObjectName(QString::fromLatin1(kHoverBackgroundName));
    layer->setAttribute(Qt::WA_TransparentForMouseEvents);
    layer->setGeometry(view->rect());
    layer->setLayerBackgroundColor(color);
    // Laid over everything in the view, as a last sublayer is.
    layer->raise();
    layer->show();
    return layer;
}

void applyEffects(QWidget* view, const std::vector<HoverEffect>& effects) {
    for (const HoverEffect& effect : effects) {
        LayerBackedView* layer = hoverBackgroundLayer(view);
        switch (effect.kind) {
            case HoverEffect::Kind::cornerRadius:
                if (layer) layer->setCornerRadius(effect.radius);
                break;
            case HoverEffect::Kind::background:
                if (layer) {
                    layer->setLayerBackgroundColor(effect.color);
                } else {
                    makeHoverBackground(view, effect.color);
                }
                break;
        }
    }
}

void undoEffects(QWidget* view, const std::vector<HoverEffect>& effects) {
    for (const HoverEffect& effect : effects) {
        LayerBackedView* layer = hoverBackgroundLayer(view);
        switch (effect.kind) {
            case HoverEffect::Kind::cornerRadius:
                if (layer) layer->setCornerRadius(0);
                break;
            case HoverEffect::Kind::background:
                if (layer) {
                    layer->setLayerBackgroundColor(Color::clear());
                } else {
                    makeHoverBackground(view, Color::clear());
                }
                break;
        }
    }
}

}  // namespace

MouseTracker* mouseTracker(QWidget* view) {
    if (!view) return nullptr;
    if (auto* tracker = view->findChild<MouseTracker*>(QString::fromLatin1(kTrackerName),
                                                       Qt::FindDirectChildrenOnly)) {
        return tracker;
    }
    auto* tracker = new MouseTracker(view);
    tracker->setObjectName(QString::fromLatin1(kTrackerName));
    return tracker;
}

void trackMouse(QWidget* view, MouseTrackOption option, MouseMoveObserver observer) {
    if (MouseTracker* tracker = mouseTracker(view))
        tracker->setTracking(option, std::move(observer));
}

void addHoverEffects(QWidget* view, std::vector<HoverEffect> effects) {
    MouseTracker* tracker = mouseTracker(view);
    if (!tracker) return;
    // The observer does not own the view: the view owns the tracker that owns the observer.
    tracker->setTracking(MouseTrackOption(), [target = QPointer<QWidget>(view),
                                              effects = std::move(effects)](MouseMoveEvent event) {
        if (!target) return;
        if (event == MouseMoveEvent::entered) {
            applyEffects(target, effects);
        } else {
            undoEffects(target, effects);
        }
    });
}

LayerBackedView* hoverBackgroundLayer(QWidget* view) {
    if (!view) return nullptr;
    return view->findChild<LayerBackedView*>(QString::fromLatin1(kHoverBackgroundName),
                                             Qt::FindDirectChildrenOnly);
}

}  // namespace pex
