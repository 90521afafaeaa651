#pragma once
// Base of the application's pages. Its view is a plain view with the page background
// (0xF0FBF9); when the view has loaded the page clears the window's keyboard focus 0.1 s
// later, then builds its subviews (setupUI) and its layout (setupConstraints). The view loads
// on first use, after construction, so subclasses' overrides are the ones that run.
#include "platform/appkit/ViewController.h"

namespace pex {

class BaseViewController : public ViewController {
    Q_OBJECT
  public:
    explicit BaseViewController(QObject* parent = nullptr);

  protected:
    void loadView() override;
    void viewDidLoad() override;

    virtual void setupUI();
    virtual void setupConstraints();
    // 0.1 s later on the main queue, asks the view's window to give the keyboard focus to no
    // view. A page destroyed before then is skipped.
    virtual void clearFirstResponderLater();
};

}  // namespace pex
