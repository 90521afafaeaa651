#include "platform/appkit/TransparentTitleBar.h"

#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPalette>
#include <QToolButton>
#include <QWindow>

#include "platform/appkit/SystemFont.h"
#include "platform/appkit/WindowEdgeResizer.h"
#include "platform/foundation/MainQueue.h"

namespace pex {

namespace {

constexpr int kButtonWidth = 40;

QToolButton* makeButton(QWidget* parent, const char* glyph, const char* name, bool closes) {
    auto* button = new QToolButton(parent);
    button->setText(QString::fromUtf8(glyph));
    button->setAccessibleName(QString::fromUtf8(name));
    button->setToolTip(QString::fromUtf8(name));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setFont(systemFont(13));
    // Light marks on the dark bar; a hover lights the button up, red for the one that closes.
    button->setStyleSheet(
        QStringLiteral("QToolButton { color: rgba(255, 255, 255, 200); border: none; "
                       "background: transparent; }"
                       "QToolButton:hover { color: white; background: %1; }")
            .arg(closes ? QStringLiteral("rgb(196, 43, 28)")
                        : QStringLiteral("rgba(255, 255, 255, 30)")));
    return button;
}

}  // namespace

TransparentTitleBar* TransparentTitleBar::install(QMainWindow* window, QColor background) {
    assertMainThread("TransparentTitleBar");
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    auto* bar = new TransparentTitleBar(window, background);
    window->setMenuWidget(bar);
    new WindowEdgeResizer(window);
    return bar;
}

TransparentTitleBar::TransparentTitleBar(QWidget* window, QColor background)
    : QWidget(window),
      title_(new QLabel(this)),
      minimize_(makeButton(this, "—", "最小化", false)),
      zoom_(makeButton(this, "□", "缩放", false)),
      close_(makeButton(this, "✕", "关闭", true)) {
    // The window's own colour, not a bar of another.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, background);
    setPalette(palette);
    setAutoFillBackground(true);

    title_->setAlignment(Qt::AlignCenter);
    title_->setFont(systemFont(13));
    title_->setTextFormat(Qt::PlainText);
    QPalette titlePalette = title_->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(255, 255, 255, 217));
    title_->setPalette(titlePalette);
    // Presses on the title reach the bar, which moves the window.
    title_->setAttribute(Qt::WA_TransparentForMouseEvents);
    title_->setText(window->windowTitle());
    window->installEventFilter(this);

    connect(minimize_, &QAbstractButton::clicked, this,
            [this] { this->window()->showMinimized(); });
    connect(zoom_, &QAbstractButton::clicked, this, [this] { toggleZoom(); });
    connect(close_, &QAbstractButton::clicked, this, [this] { this->window()->close(); });
}

QSize TransparentTitleBar::sizeHint() const {
    return {3 * kButtonWidth, kHeight};
}

bool TransparentTitleBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::WindowTitleChange) {
        title_->setText(window()->windowTitle());
    }
    return QWidget::eventFilter(watched, event);
}

void TransparentTitleBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The title is centred on the whole bar, as a window's title is; the controls lie over
    // its right end.
    title_->setGeometry(rect());
    int x = width();
    for (QAbstractButton* button : {close_, zoom_, minimize_}) {
        x -= kButtonWidth;
        button->setGeometry(x, 0, kButtonWidth, height());
        button->raise();
    }
}

void TransparentTitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    event->accept();
    // The window manager moves the window where it can (X11 window managers do); otherwise
    // the bar follows the pointer itself.
    QWindow* handle = window()->windowHandle();
    if (handle && handle->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void TransparentTitleBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    event->accept();
    window()->move(event->globalPosition().toPoint() - dragOffset_);
}

void TransparentTitleBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void TransparentTitleBar::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    event->accept();
    dragging_ = false;
    toggleZoom();
}

void TransparentTitleBar::toggleZoom() {
    QWidget* window = this->window();
    if (window->isMaximized()) {
        window->showNormal();
    } else {
        window->showMaximized();
    }
}

}  // namespace pex
