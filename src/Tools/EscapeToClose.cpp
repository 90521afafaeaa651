#include "Tools/EscapeToClose.h"

#include <QApplication>
#include <QKeyEvent>
#include <vector>

#include "Tools/PopView/MYCenterPopView.h"

namespace pex {

namespace {
std::vector<QPointer<EscapeToClose>>& attached() {
    static std::vector<QPointer<EscapeToClose>> list;
    return list;
}

// The ancestors of `widget` from its window down to itself.
std::vector<const QWidget*> pathFromWindow(const QWidget* widget) {
    std::vector<const QWidget*> path;
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        path.insert(path.begin(), widget);
    }
    return path;
}
}  // namespace

// Watches every key press of the application, before the focused widget sees it: Esc in a
// window belongs to that window's frontmost pop-up, wherever the focus is.
class EscapeToClose::KeyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || key->isAutoRepeat() ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        EscapeToClose* front = frontmostIn(static_cast<QWidget*>(watched)->window());
        if (!front) return false;
        // The closure may delete the pop-up, and with it `front`.
        const std::function<void()> close = front->close_;
        if (close) close();
        return true;
    }
};

EscapeToClose::EscapeToClose(QWidget* popUp, std::function<void()> close)
    : QObject(popUp), popUp_(popUp), close_(std::move(close)) {}

void EscapeToClose::attach(QWidget* popUp, std::function<void()> close) {
    if (!popUp) return;
    static KeyFilter* filter = [] {
        auto* made = new KeyFilter(qApp);
        qApp->installEventFilter(made);
        return made;
    }();
    (void)filter;
    auto& list = attached();
    std::erase_if(list, [](const QPointer<EscapeToClose>& entry) { return entry.isNull(); });
    list.emplace_back(new EscapeToClose(popUp, std::move(close)));
}

bool EscapeToClose::isOnScreen() const {
    if (!popUp_ || !popUp_->isVisible() || popUp_->isWindow()) return false;
    // A centred pop-up that is fading out has been closed already.
    for (QWidget* up = popUp_->parentWidget(); up; up = up->parentWidget()) {
        if (auto* overlay = qobject_cast<MYCenterPopView*>(up)) return !overlay->isDismissing();
    }
    return true;
}

EscapeToClose* EscapeToClose::frontmostIn(const QWidget* window) {
    EscapeToClose* front = nullptr;
    for (const QPointer<EscapeToClose>& entry : attached()) {
        if (!entry || !entry->isOnScreen() || entry->popUp_->window() != window) continue;
        if (!front || inFront(entry->popUp_, front->popUp_)) front = entry.data();
    }
    return front;
}

bool EscapeToClose::inFront(const QWidget* front, const QWidget* back) {
    // Below their last common ancestor, the later of the two branches is drawn over the
    // earlier; a pop-up inside another is in front of it.
    const std::vector<const QWidget*> a = pathFromWindow(front);
    const std::vector<const QWidget*> b = pathFromWindow(back);
    std::size_t depth = 0;
    while (depth < a.size() && depth < b.size() && a[depth] == b[depth]) ++depth;
    if (depth == b.size()) return true;   // `back` holds `front`
    if (depth == a.size()) return false;  // `front` holds `back`
    if (depth == 0) return false;         // different windows
    const QObjectList& siblings = a[depth - 1]->children();
    return siblings.indexOf(const_cast<QWidget*>(a[depth])) >
           siblings.indexOf(const_cast<QWidget*>(b[depth]));
}

}  // namespace pex
