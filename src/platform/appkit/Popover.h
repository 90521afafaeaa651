#pragma once
// A transient pop-over: shows a content view controller's view in a small pop-up window next
// to a view, and closes when the user clicks anywhere outside it. The pop-over owns its
// content controller; a new one replaces (and deletes) the old one.
#include <QObject>
#include <QPointer>
#include <QRect>
#include <memory>

class QWidget;

namespace pex {

class ViewController;

class Popover : public QObject {
    Q_OBJECT
  public:
    explicit Popover(QObject* parent = nullptr);
    ~Popover() override;

    ViewController* contentViewController() const { return content_.data(); }
    void setContentViewController(ViewController* controller);

    // Shows the content under `rect` (in `view`'s coordinates), centred on it; above it when
    // the screen has no room below. Does nothing without content or view.
    void show(const QRect& rect, QWidget* view);
    void close();
    bool isShown() const;

    // The pop-up window, for placement checks; none before the first show.
    QWidget* window() const { return window_.get(); }

  private:
    QPointer<ViewController> content_;
    std::unique_ptr<QWidget> window_;
};

}  // namespace pex
