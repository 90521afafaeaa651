#pragma once
// A controller that builds its view on first use, in the design's order: `loadView` makes the
// view, then `viewDidLoad` runs, both after construction, so subclasses' overrides are the
// ones called. The controller owns its view until the view is given a parent.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace pex {

class ViewController : public QObject {
    Q_OBJECT
  public:
    explicit ViewController(QObject* parent = nullptr);
    ~ViewController() override;

    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    QWidget* viewIfLoaded() const { return view_.data(); }

    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

  protected:
    // Makes a plain view; overrides call setView.
    virtual void loadView();
    virtual void viewDidLoad();
    void setView(QWidget* view);

  private:
    QPointer<QWidget> view_;
    QString title_;
    bool loading_ = false;
};

}  // namespace pex
