#include "Tools/PinToParent.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <optional>

namespace pex {

namespace {

constexpr const char* kPinName = "pex.pinToParent";

// Watches the view (for a new superview) and its superview (for a new size).
class ParentPin : public QObject {
  public:
    ParentPin(QWidget* view, std::optional<QSize> centredSize)
        : QObject(view), view_(view), centredSize_(centredSize) {
        setObjectName(QString::fromLatin1(kPinName));
        view->installEventFilter(this);
        watchParent();
        apply();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_.data() && event->type() == QEvent::ParentChange) {
            watchParent();
            apply();
        } else if (watched == parent_.data() && event->type() == QEvent::Resize) {
            apply();
        }
        return false;
    }

  private:
    void watchParent() {
        QWidget* parent = view_ ? view_->parentWidget() : nullptr;
        if (parent == parent_.data()) return;
        if (parent_) parent_->removeEventFilter(this);
        parent_ = parent;
        if (parent_) parent_->installEventFilter(this);
    }

    void apply() {
        if (!view_ || !parent_) return;
        const QSize host = parent_->size();
        if (!centredSize_) {
            view_->setGeometry(0, 0, host.width(), host.height());
            return;
        }
        const QSize size = *centredSize_;
        view_->setGeometry((host.width() - size.width()) / 2, (host.height() - size.height()) / 2,
                           size.width(), size.height());
    }

    QPointer<QWidget> view_;
    QPointer<QWidget> parent_;
    std::optional<QSize> centredSize_;
};

void pin(QWidget* view, std::optional<QSize> centredSize) {
    if (!view) return;
    const auto old =
        view->findChildren<QObject*>(QString::fromLatin1(kPinName), Qt::FindDirectChildrenOnly);
    for (QObject* earlier : old) delete earlier;
    new ParentPin(view, centredSize);
}

}  // namespace

void pinEdgesToParent(QWidget* view) {
    pin(view, std::nullopt);
}

void centreInParent(QWidget* view, QSize size) {
    pin(view, size);
}

}  // namespace pex
