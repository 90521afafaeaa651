#include "platform/appkit/WindowEdgeResizer.h"

#include <QEvent>
#include <QMouseEvent>

namespace pex {

WindowEdgeResizer::WindowEdgeResizer(QWidget* window) : QObject(window), window_(window) {
    window->installEventFilter(this);
    attach();
}

Qt::Edges WindowEdgeResizer::edgesAt(QPoint position, QSize size, int margin) {
    Qt::Edges edges;
    if (position.x() < 0 || position.y() < 0 || position.x() >= size.width() ||
        position.y() >= size.height()) {
        return edges;
    }
    if (position.x() < margin) edges |= Qt::LeftEdge;
    if (position.x() >= size.width() - margin) edges |= Qt::RightEdge;
    if (position.y() < margin) edges |= Qt::TopEdge;
    if (position.y() >= size.height() - margin) edges |= Qt::BottomEdge;
    return edges;
}

void WindowEdgeResizer::attach() {
    QWindow* handle = window_ ? window_->windowHandle() : nullptr;
    if (handle == attached_.data()) return;
    if (attached_) attached_->removeEventFilter(this);
    attached_ = handle;
    // The native window sees every pointer event of the window before its widgets do.
    if (handle) handle->installEventFilter(this);
}

bool WindowEdgeResizer::resizable() const {
    return window_ && !window_->isMaximized() && !window_->isFullScreen() &&
           window_->minimumSize() != window_->maximumSize();
}

void WindowEdgeResizer::showCursorFor(Qt::Edges edges) {
    if (!edges) {
        if (cursorShown_) window_->unsetCursor();
        cursorShown_ = false;
        return;
    }
    Qt::CursorShape shape = Qt::SizeAllCursor;
    if (edges == Qt::LeftEdge || edges == Qt::RightEdge) {
        shape = Qt::SizeHorCursor;
    } else if (edges == Qt::TopEdge || edges == Qt::BottomEdge) {
        shape = Qt::SizeVerCursor;
    } else if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) {
        shape = Qt::SizeFDiagCursor;
    } else {
        shape = Qt::SizeBDiagCursor;
    }
    window_->setCursor(shape);
    cursorShown_ = true;
}

bool WindowEdgeResizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.data()) {
        if (event->type() == QEvent::WinIdChange || event->type() == QEvent::Show) attach();
        return false;
    }
    if (watched != attached_.data() || !window_) return false;
    switch (event->type()) {
        case QEvent::MouseMove: {
            auto* move = static_cast<QMouseEvent*>(event);
            if (move->buttons() != Qt::NoButton) return false;
            showCursorFor(resizable() ? edgesAt(move->position().toPoint(), attached_->size())
                                      : Qt::Edges());
            return false;
        }
        case QEvent::MouseButtonPress: {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() != Qt::LeftButton || !resizable()) return false;
            const Qt::Edges edges = edgesAt(press->position().toPoint(), attached_->size());
            // Taken by the window manager, the press is not the content's.
            return edges && attached_->startSystemResize(edges);
        }
        case QEvent::Leave:
            showCursorFor({});
            return false;
        default:
            return false;
    }
}

}  // namespace pex
