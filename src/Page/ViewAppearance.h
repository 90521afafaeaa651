#pragma once
// Calls a page back each time its view is about to come on screen: when the view is shown
// after being hidden (the page container switching pages) or its window is shown. Showing a
// window again after the window system minimised it does not count. The observer belongs to
// the view and goes with it.
#include <QObject>
#include <functional>

class QWidget;

namespace pex {

class ViewAppearance : public QObject {
    Q_OBJECT
  public:
    static ViewAppearance* observe(QWidget* view, std::function<void()> willAppear);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ViewAppearance(QWidget* view, std::function<void()> willAppear);

    std::function<void()> willAppear_;
};

}  // namespace pex
