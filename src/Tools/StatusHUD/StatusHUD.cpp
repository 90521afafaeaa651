#include "Tools/StatusHUD/StatusHUD.h"

#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "Tools/StatusHUD/ProgressIndicatorLayer.h"
#include "Tools/StatusHUD/StatusHUDView.h"
#include "platform/appkit/AnimationGroup.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/LayerHostView.h"
#include "platform/appkit/SystemFont.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

namespace {

constexpr double kDefaultFontPoints = 18;
constexpr double kBlackMaskAlpha = 0.6;

// Rounds half away from zero, as the layout's numbers are worked out.
double roundHalfAway(double value) {
    return std::round(value);
}

bool reservesIconSpace(StatusHUDMode::Kind kind) {
    return kind == StatusHUDMode::determinate || kind == StatusHUDMode::info ||
           kind == StatusHUDMode::success || kind == StatusHUDMode::error;
}

// The layout is worked out y-up, from the bottom edge; Qt's y runs down from the top.
QRectF fromBottomUp(double x, double y, double width, double height, double hostHeight) {
    return QRectF(x, hostHeight - y - height, width, height);
}

// Lays `text` out in lines of at most `width`, breaking at word boundaries where there are
// some and between characters (never inside one) where a word is too long for the line.
void layOutWrapped(QTextLayout& layout, double width) {
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
}

QString withLineSeparators(QString text) {
    return text.replace(QLatin1Char('\n'), QChar::LineSeparator);
}

// The size `text` takes in lines of at most `width`.
QSizeF wrappedSize(const QFont& font, const QString& text, double width) {
    QTextLayout layout(withLineSeparators(text), font);
    layOutWrapped(layout, width);
    double widest = 0;
    for (int i = 0; i < layout.lineCount(); ++i) {
        widest = std::max(widest, layout.lineAt(i).naturalTextWidth());
    }
    return QSizeF(widest, layout.boundingRect().height());
}

// The status text: drawn in lines that break between words, or between characters inside a
// word too long for a line, so that a long message is never cut off.
class WrappingLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        QTextLayout layout(withLineSeparators(text()), font());
        layOutWrapped(layout, width());
        layout.draw(&painter, QPointF(0, 0));
    }
};

QRect pixelRect(const QRectF& rect) {
    return QRect(static_cast<int>(std::lround(rect.x())), static_cast<int>(std::lround(rect.y())),
                 static_cast<int>(std::lround(rect.width())),
                 static_cast<int>(std::lround(rect.height())));
}

}  // namespace

StatusHUD& StatusHUD::shared() {
    // Never destroyed: its view may outlive the application object at exit.
    static StatusHUD* const instance = new StatusHUD;
    return *instance;
}

StatusHUD::StatusHUD() : font(systemFont(kDefaultFontPoints)) {}

StatusHUD::~StatusHUD() {
    lifetime_.reset();
    if (fade_) fade_->stop();
    if (progressIndicator_) progressIndicator_->invalidateTimer();
    if (view_) {
        view_->disconnect();
        delete view_.data();
    }
}

StatusHUDView* StatusHUD::ensureView() {
    if (view_) return view_.data();
    auto* view = new StatusHUDView(*this);
    view->hide();
    view->setGraphicsEffect(new QGraphicsOpacityEffect(view));
    auto* label = new WrappingLabel(view);
    label->setGeometry(0, 0, 0, 0);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Text wider than the box is wrapped inside the label, never shortened.
    label->setWordWrap(true);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    label->setFont(font);
    QObject::connect(view, &QObject::destroyed, [this, lifetime = std::weak_ptr<int>(lifetime_)] {
        if (!lifetime.expired()) viewDestroyed();
    });
    view_ = view;
    statusLabel_ = label;
    alpha_ = 0;
    setAlpha(0);
    return view;
}

// The host took the view down with it: the HUD is hidden from here on, quietly.
void StatusHUD::viewDestroyed() {
    if (fade_) fade_->stop();
    fade_.reset();
    fadeCompletion_ = nullptr;
    if (progressIndicator_) {
        progressIndicator_->isRunning = false;
        progressIndicator_->invalidateTimer();
    }
    alpha_ = 0;
}

QWidget* StatusHUD::view() {
    return ensureView();
}

QLabel* StatusHUD::statusLabel() {
    ensureView();
    return statusLabel_.data();
}

QWidget* StatusHUD::indicator() const {
    return indicator_.data();
}

bool StatusHUD::isHidden() const {
    return !view_ || view_->isHidden();
}

void StatusHUD::setProgress(double fraction) {
    progress_ = fraction;
    if (view_) view_->update();
}

Color StatusHUD::foregroundColor() const {
    switch (style.kind) {
        case StatusHUDStyle::light:
            return Color::grey(0, 1);
        case StatusHUDStyle::dark:
            return Color::grey(0.95, 1);
        case StatusHUDStyle::custom:
            break;
    }
    return style.foreground;
}

Color StatusHUD::boxColor() const {
    switch (style.kind) {
        case StatusHUDStyle::light:
            return Color::grey(1, opacity);
        case StatusHUDStyle::dark:
            return Color::grey(0, opacity);
        case StatusHUDStyle::custom:
            break;
    }
    return style.background.withAlphaComponent(opacity);
}

void StatusHUD::post(const char* name) {
    NotificationCenter::defaultCenter().post(name, this);
}

QWidget* StatusHUD::hostView() {
    if (containerView) return containerView.data();
    return ApplicationWindows::contentView(ApplicationWindows::delegateWindow());
}

void StatusHUD::show(const QString& status, const StatusHUDMode& mode) {
    assertMainThread("StatusHUD::show");
    QWidget* host = hostView();
    if (!host) return;
    // A busy state shown while a short message is up must not be hidden by that message's timer.
    cancelDelayedHides();
    StatusHUDView* view = ensureView();
    mode_ = mode;
    if (view->isHidden()) {
        if (progressIndicator_) progressIndicator_->invalidateTimer();
        progressIndicator_ =
            std::make_shared<ProgressIndicatorLayer>(foregroundColor(), spinnerSize);
        view->setParent(host);
        view->setGeometry(host->rect());
        view->followHost(host);
        view->raise();
    }
    updateIndicator();
    setStatus(status);
    appear(true);
}

void StatusHUD::removeIndicator(const QWidget* keep) {
    QWidget* current = indicator_.data();
    indicator_ = nullptr;
    if (!current || current == keep) return;
    current->hide();
    if (qobject_cast<LayerHostView*>(current)) {
        delete current;
    } else {
        // A caller's view may be in the middle of handling its own event.
        current->setParent(nullptr);
        current->deleteLater();
    }
}

void StatusHUD::updateIndicator() {
    StatusHUDView* view = ensureView();
    switch (mode_.kind) {
        case StatusHUDMode::determinate:
        case StatusHUDMode::info:
        case StatusHUDMode::success:
        case StatusHUDMode::error:
        case StatusHUDMode::text:
            removeIndicator();
            break;
        case StatusHUDMode::indeterminate: {
            removeIndicator();
            if (!progressIndicator_) {
                progressIndicator_ =
                    std::make_shared<ProgressIndicatorLayer>(foregroundColor(), spinnerSize);
            }
            const int side = static_cast<int>(std::lround(spinnerSize));
            auto* spinnerView = new LayerHostView(view);
            spinnerView->setGeometry(0, 0, side, side);
            ProgressIndicatorLayer& spinner = *progressIndicator_;
            spinner.setHidden(false);
            spinner.isRunning = true;
            // So that the first step lights fin 0.
            spinner.fposition = spinner.numFins - 1;
            spinner.setNeedsDisplay();
            spinner.startAnimation();
            spinnerView->addSublayer(progressIndicator_);
            indicator_ = spinnerView;
            spinnerView->show();
            break;
        }
        case StatusHUDMode::custom: {
            QWidget* custom = mode_.view.data();
            removeIndicator(custom);
            if (custom) {
                custom->setParent(view);
                indicator_ = custom;
                custom->show();
            }
            break;
        }
    }
    layoutFrame();
    view->update();
}

void StatusHUD::setStatus(const QString& text) {
    ensureView();
    QLabel* label = statusLabel_.data();
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, foregroundColor().toQColor());
    label->setPalette(palette);
    label->setFont(font);
    label->setText(text);
    label->adjustSize();
    layoutFrame();
    view_->update();
}

void StatusHUD::appear(bool animated) {
    post(willAppearNotification);
    useAnimation_ = animated;
    interruptFade();
    StatusHUDView* view = ensureView();
    view->update();
    view->QWidget::show();
    layoutFrame();
    if (!animated) {
        setAlpha(1);
        post(didAppearNotification);
        return;
    }
    startFade(1, true, [this] { post(didAppearNotification); });
}

void StatusHUD::hide(bool animated) {
    post(willDisappearNotification);
    useAnimation_ = animated;
    cancelDelayedHides();
    interruptFade();
    if (!animated) {
        setAlpha(0);
        finishHide();
        return;
    }
    startFade(0, false, [this] { finishHide(); });
}

void StatusHUD::finishHide() {
    if (progressIndicator_) {
        progressIndicator_->isRunning = false;
        progressIndicator_->invalidateTimer();
        progressIndicator_->setNeedsDisplay();
    }
    setAlpha(0);
    if (view_) {
        view_->QWidget::hide();
        view_->followHost(nullptr);
        view_->setParent(nullptr);
    }
    if (completionHandler) completionHandler();
    removeIndicator();
    if (statusLabel_) statusLabel_->setText(QString());
    post(didDisappearNotification);
}

void StatusHUD::setAlpha(double alpha) {
    alpha_ = alpha;
    if (!view_) return;
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view_->graphicsEffect())) {
        effect->setOpacity(alpha);
    }
}

void StatusHUD::startFade(double target, bool appearing, std::function<void()> completion) {
    const double from = alpha_;
    fadeAppearing_ = appearing;
    fadeCompletion_ = std::move(completion);
    fade_ = AnimationGroup::run(
        kFadeDuration,
        [this, from, target](double fraction) { setAlpha(from + (target - from) * fraction); },
        [this] {
            fade_.reset();
            if (auto completion = std::move(fadeCompletion_)) completion();
        });
}

// A new appear or hide takes over from a fade still running. An appear's end is still
// announced; a hide's end is dropped, since a fading-out HUD that is shown again must stay.
void StatusHUD::interruptFade() {
    if (!fade_) return;
    fade_->stop();
    fade_.reset();
    auto completion = std::move(fadeCompletion_);
    fadeCompletion_ = nullptr;
    if (fadeAppearing_ && completion) completion();
}

void StatusHUD::hideDelayed(std::optional<double> number) {
    cancelDelayedHides();
    hide(!(number && *number == 0));
}

void StatusHUD::performHideDelayed(Clock::Duration delay, std::optional<double> number) {
    const std::uint64_t generation = delayedHideGeneration_;
    ++pendingDelayedHides_;
    DispatchQueue::main().asyncAfter(
        delay, [this, lifetime = std::weak_ptr<int>(lifetime_), generation, number] {
            if (lifetime.expired() || generation != delayedHideGeneration_) return;
            --pendingDelayedHides_;
            hideDelayed(number);
        });
}

void StatusHUD::cancelDelayedHides() {
    ++delayedHideGeneration_;
    pendingDelayedHides_ = 0;
}

void StatusHUD::showMessage(const QString& text, const StatusHUDMode& mode) {
    StatusHUD& hud = shared();
    hud.show(text, mode);
    const auto delay = std::chrono::duration<double>(displayDuration(text));
    hud.performHideDelayed(std::chrono::duration_cast<Clock::Duration>(delay), 1.0);
}

double StatusHUD::displayDuration(const QString& text) {
    qsizetype characters = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    while (graphemes.toNextBoundary() != -1) ++characters;
    const double seconds = 0.5 + 0.06 * static_cast<double>(characters);
    // The bounds are the shared HUD's, the one every short message is shown on.
    const StatusHUD& hud = shared();
    return std::min(std::max(seconds, hud.minimumDismissTimeInterval),
                    hud.maximumDismissTimeInterval);
}

void StatusHUD::layoutFrame() {
    StatusHUDView* view = ensureView();
    QWidget* superview = view->parentWidget();
    view->setGeometry(superview ? superview->rect() : QRect());
    const double width = view->width();
    const double height = view->height();

    QWidget* indicatorView = indicator_.data();
    double indicatorWidth = indicatorView ? indicatorView->width() : 0;
    double indicatorHeight = indicatorView ? indicatorView->height() : 0;
    if (reservesIconSpace(mode_.kind)) indicatorHeight = spinnerSize;

    double total = indicatorHeight > 0 ? indicatorHeight + padding : indicatorHeight;
    double textWidth = 0;
    double textHeight = 0;
    QLabel* label = statusLabel_.data();
    if (!label->text().isEmpty()) {
        // Whole pixels, so the label's widget frame is exactly the one worked out here. Text
        // wider than the box may be is wrapped to it and grows downwards.
        QSizeF measured = QFontMetricsF(label->font()).size(0, label->text());
        const double widest = width - 4 * margin - 10;
        if (measured.width() + 10 > width - 4 * margin && widest > 0) {
            // The label keeps the full width, as the lines were laid out for it.
            measured = QSizeF(widest, wrappedSize(label->font(), label->text(), widest).height());
        }
        textWidth = std::ceil(measured.width());
        textHeight = std::ceil(measured.height());
        total += textHeight;
        if (textHeight > 0 && indicatorHeight > 0) total += padding;
    }
    total += 2 * margin;

    const double shift = position == StatusHUDPosition::top      ? height / 5
                         : position == StatusHUDPosition::bottom ? -height / 5
                                                                 : 0;
    const double base = roundHalfAway((height - total) / 2) + margin + shift;
    const double maxWidth = width - 4 * margin;
    const double indicatorShown = std::min(maxWidth, indicatorWidth);

    if (indicatorView) {
        const double y = indicatorHeight > 0
                             ? base + padding + (textHeight > 0 ? padding + textHeight : 0)
                             : base;
        const QRectF frame = fromBottomUp(roundHalfAway((width - indicatorShown) / 2), y,
                                          indicatorShown, indicatorHeight, height);
        indicatorView->setGeometry(pixelRect(frame));
    }
    const double labelWidth = std::min(maxWidth, textWidth > 0 ? textWidth + 10 : textWidth);
    const double labelY = indicatorHeight > 0 ? base - padding : base;
    label->setGeometry(pixelRect(fromBottomUp(roundHalfAway((width - labelWidth) / 2), labelY,
                                              labelWidth, textHeight, height)));

    size_ = QSizeF(2 * margin + std::max(std::max(indicatorShown, 0.0), labelWidth), total);
    const double boxY = roundHalfAway((height - size_.height()) / 2) + shift;
    boxRect_ = fromBottomUp(roundHalfAway((width - size_.width()) / 2), boxY, size_.width(),
                            size_.height(), height);
}

void StatusHUD::drawRect(QPainter& painter, const QRectF& dirtyRect) {
    painter.save();
    switch (maskType.kind) {
        case StatusHUDMaskType::black:
            painter.fillRect(dirtyRect, QColor::fromRgbF(0, 0, 0, kBlackMaskAlpha));
            break;
        case StatusHUDMaskType::custom:
            painter.fillRect(dirtyRect, maskType.color.toQColor());
            break;
        case StatusHUDMaskType::none:
        case StatusHUDMaskType::clear:
            break;
    }

    const QRectF box = boxRect_;
    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    outline.addRoundedRect(box, cornerRadius, cornerRadius);
    painter.fillPath(outline, boxColor().toQColor());

    if (reservesIconSpace(mode_.kind)) {
        // The icon's centre sits 0.9 × spinnerSize below the box's top edge.
        const QPointF centre(box.left() + box.width() / 2, box.top() + 0.9 * spinnerSize);
        const QRectF square(centre.x() - spinnerSize / 2, centre.y() - spinnerSize / 2, spinnerSize,
                            spinnerSize);
        if (mode_.kind == StatusHUDMode::determinate) {
            QPen pen(foregroundColor().toQColor(), 4, Qt::SolidLine, Qt::RoundCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            QPainterPath arc;
            arc.arcMoveTo(square, 90);
            arc.arcTo(square, 90, -360 * progress_);
            painter.drawPath(arc);
        } else if (mode_.kind == StatusHUDMode::info) {
            drawInfoIcon(painter, square);
        } else if (mode_.kind == StatusHUDMode::success) {
            drawCheckmark(painter, square);
        } else {
            drawCross(painter, square);
        }
    }
    painter.restore();
}

void StatusHUD::drawCheckmark(QPainter& painter, const QRectF& square) {
    const double w = square.width();
    const double h = square.height();
    // Points given upwards from the square's bottom edge.
    const auto point = [&](double x, double y) {
        return QPointF(square.left() + x * w, square.bottom() - y * h);
    };
    const QPointF points[] = {point(0.05833, 0.48377), point(0.31429, 0.19167),
                              point(0.93333, 0.80833)};
    painter.save();
    painter.setPen(
        QPen(foregroundColor().toQColor(), 4, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(points, 3);
    painter.restore();
}

void StatusHUD::drawCross(QPainter& painter, const QRectF& square) {
    // Fixed offsets from the top-left corner, made for the 60-point square.
    const auto point = [&](double x, double below) {
        return QPointF(square.left() + x, square.top() + below);
    };
    painter.save();
    painter.setPen(QPen(foregroundColor().toQColor(), 4, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(point(8, 52), point(52, 8));
    painter.drawLine(point(52, 52), point(8, 8));
    painter.restore();
}

void StatusHUD::drawInfoIcon(QPainter& painter, const QRectF& square) {
    const QColor colour = foregroundColor().toQColor();
    constexpr double kCircle = 58;
    const double inset = std::floor((square.width() - kCircle) / 2 + 0.5);
    painter.save();
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(square.left() + inset, square.top() + inset, kCircle, kCircle));

    // The letter "i": offsets from the square's left edge and downwards from its top edge.
    const auto at = [&](double x, double below) {
        return QPointF(square.left() + x, square.top() + below);
    };
    QPainterPath letter;
    letter.setFillRule(Qt::WindingFill);
    constexpr double kDot = 4.96;
    letter.addEllipse(at(30.29, 12.76), kDot / 2, kDot / 2);
    QPainterPath stem;
    stem.moveTo(at(31.26, 21.98));
    stem.lineTo(at(32.33, 21.98));
    stem.lineTo(at(32.33, 39.95));
    stem.cubicTo(at(32.33, 42.40), at(33.40, 44.12), at(35.73, 44.12));
    stem.lineTo(at(35.73, 45.00));
    stem.lineTo(at(24.86, 45.00));
    stem.lineTo(at(24.86, 44.12));
    stem.cubicTo(at(27.20, 44.12), at(28.28, 42.40), at(28.28, 39.95));
    stem.lineTo(at(28.28, 31.33));
    stem.cubicTo(at(28.28, 27.60), at(27.30, 25.90), at(24.86, 25.59));
    stem.lineTo(at(24.52, 24.71));
    stem.lineTo(at(31.26, 21.98));
    stem.closeSubpath();
    letter.addPath(stem);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(letter);
    painter.restore();
}

void StatusHUD::mouseDown(QMouseEvent* event) {
    post(didReceiveMouseDownEventNotification);
    // Without a mask the click goes on to the view underneath; any mask keeps it.
    if (maskType.kind == StatusHUDMaskType::none) {
        event->ignore();
    } else {
        event->accept();
    }
    if (dismissible) {
        DispatchQueue::main().async([this, lifetime = std::weak_ptr<int>(lifetime_)] {
            if (!lifetime.expired()) hide(useAnimation_);
        });
    }
}

}  // namespace pex
